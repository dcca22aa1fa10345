// The program's side of the page contract, as a table of bound functions
// whose answers a test can change.
'use strict';

const SAMPLE_PRINTERS = [
  { isDefault: true, isShare: true, isLocal: true, serverName: '', printerName: 'Office Laser', shareName: 'Office Laser',
    portName: 'usb://Acme/Laser?serial=1', driverName: 'Acme Laser 9000', comment: '', location: 'Room 2', sepFile: '',
    printProcessor: 'cups', dataType: 'application/pdf', attributes: 0x4 | 0x8 | 0x40, priority: 0, startTime: 0,
    untilTime: 0, status: 0, cjobs: 0, averagePPM: 0, printQuality: 600, duplex: true, color: false,
    printPagePerMinute: 30, driverAttributes: 0, resolutions: [600, 600, 1200, 1200] },
  { isDefault: false, isShare: false, isLocal: true, serverName: '', printerName: 'Hall Inkjet', shareName: '',
    portName: 'socket://10.203.7.20', driverName: 'Acme Ink', comment: 'colour', location: '', sepFile: '',
    printProcessor: 'cups', dataType: '', attributes: 0x40, priority: 0, startTime: 0, untilTime: 0,
    status: 0x10 | 0x80, cjobs: 2, averagePPM: 0, printQuality: -4, duplex: false, color: true,
    printPagePerMinute: -1, driverAttributes: 0, resolutions: [] }
];

function fakeProgram(overrides) {
  const state = { startup: null, folder: '/home/user/Downloads/驱动' };
  const answers = {
    eMsg: () => true,
    click: () => true,
    isLogin: () => false,
    enumPrinters: () => undefined,
    getPrinterInfo: () => ({ code: 0, info: { dwChanged: 0, dwNotifyField: [], printerName: 'x', printerServer: '',
                                              newPrinterName: '', dwAttribute: 0x40, dwPrinterStatus: 0, dwJobStatus: 0, dwCjobs: 0 } }),
    printTestPage: () => 0,
    setDefaultPrinter: () => true,
    sharePrinter: () => 0,
    deletePrinter: () => 0,
    viewPrintQueue: () => 0,
    showPrintPreferencesPage: () => 0,
    showPrinterPropertiesPage: () => 0,
    addPrinter: () => undefined,
    openManager: () => 0,
    checkMMCExists: () => true,
    sendMessage: () => 0,
    openInstallMonitor: () => true,
    formatMessage: (code) => (code === 5 ? 'Access is denied.' : 'Error ' + code),
    startScan: () => 0,
    interrupt: () => true,
    checkPrinterSpool: () => 4,
    checkFirewall: () => true,
    checkOcrFont: () => true,
    checkPrinterSharing: () => true,
    checkPrinterQueue: () => 0,
    restartPrinterSpool: () => 0,
    enableFirewall: () => 0,
    installOcrFont: () => 0,
    enablePrinterSharing: () => 0,
    cleanPrinterQueue: () => undefined,
    cleanPrinterQueueOf: () => 0,
    resetSpool_firewall_queue: () => 0,
    Down: () => 0,
    downDir: (folder) => { if (folder === undefined) return state.folder; if (typeof folder !== 'string') return undefined; state.folder = folder; return true; },
    selectDir: () => '/home/user/Drivers',
    installDriverPackage: () => 0,
    printerList: () => '[\n    {\n        "desc": "Acme Laser 9000",\n        "hardid": "USB\\\\VID_1234&PID_5678"\n    }\n]\n',
    getModuleFileName: () => '/opt/korvane/lib/korvane/korvane',
    addToStartupList: (name, command) => { state.startup = { name, command }; return 0; },
    deleteFromStartupList: () => { state.startup = null; return 0; },
    checkStartupList: (name, command) => !!state.startup && state.startup.name === name && state.startup.command === command,
    appType: () => 'printer',
    countryID: () => 86,
    kernelVersion: () => 'Debian GNU/Linux 12',
    baseSystemInfo: () => '1.0.0.0',
    getDeviceid: () => 'abc123',
    closeWindow: () => true
  };
  return { natives: Object.assign(answers, overrides || {}), state };
}

module.exports = { fakeProgram, SAMPLE_PRINTERS };
