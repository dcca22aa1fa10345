#!/usr/bin/env python3
"""End-to-end checks of korvanectl against the test beds.

  ctl_test.py KORVANECTL usage
  ctl_test.py KORVANECTL printers      (CUPS_SERVER: a private scheduler)
  ctl_test.py KORVANECTL check DBUS_BED (CUPS_SERVER and the bed's pid file)
  ctl_test.py KORVANECTL hardware SOURCE_DIR
  ctl_test.py KORVANECTL search-network PROFILE   (inside the LAN bed's scan namespace)
  ctl_test.py KORVANECTL search-usb empty|fixture (under umockdev-run)
  ctl_test.py KORVANECTL repair        (CUPS_SERVER: a scheduler of its own)
  ctl_test.py KORVANECTL watch         (CUPS_SERVER: a scheduler of its own)
  ctl_test.py KORVANECTL add BED       (inside the ippprinter bed's namespace,
                                        CUPS_SERVER: the bed's scheduler)
  ctl_test.py KORVANECTL add-lan       (inside the korvanectl LAN bed's scan namespace,
                                        CUPS_SERVER: a scheduler of its own)
  ctl_test.py KORVANECTL add-refused   (CUPS_SERVER: a strict scheduler of its own)
  ctl_test.py KORVANECTL search-interrupt (inside a routed LAN bed's scan namespace)
  ctl_test.py KORVANECTL search-usb2   (under umockdev-run with usb2-only-printer)

Each case prints what differed and exits 1 on the first failure.
"""
import json
import os
import shlex
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import time

ctl = sys.argv[1]
case = sys.argv[2]


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def run(args, env=None):
    done = subprocess.run([ctl] + args, capture_output=True, timeout=60, env=env)
    return done.returncode, done.stdout.decode(), done.stderr.decode()


def tool(args):
    return subprocess.run(args, capture_output=True, check=True, timeout=60).stdout.decode()


def usage():
    rc, out, err = run(["--version"])
    if rc != 0 or not out.startswith("korvanectl ") or err:
        fail("--version: rc %d out %r err %r" % (rc, out, err))
    rc, out, err = run(["--help"])
    if rc != 0 or "usage: korvanectl" not in out or err:
        fail("--help: rc %d" % rc)
    hostile = [
        ([], "no command given"),
        (["frobnicate"], 'unknown command "frobnicate"'),
        (["--json"], 'unknown command "--json"'),
        (["printers", "--bogus"], '"printers" does not take the option "--bogus"'),
        (["hardware", "extra"], 'unexpected argument "extra" for "hardware"'),
        (["check", "--json", "x"], 'unexpected argument "x" for "check"'),
        (["printers", 'la"ser'], 'cannot be a queue name'),
        (["printers", "it's"], 'cannot be a queue name'),
        (["printers", "a b"], 'cannot be a queue name'),
        (["printers", "$(touch /tmp/korvanectl-pwned)"], 'cannot be a queue name'),
        (["printers", "x" * 4096], "argument too long (4096 characters; at most 256)"),
        (["printers", "\x1b]0;title\x07"], "holds control characters"),
        (["printers", "laser", "inkjet"], 'unexpected argument "inkjet" for "printers"'),
        (["--version", "now"], '"--version" takes no further arguments'),
        (["search", "--usb-only", "--network-only"], "--usb-only and --network-only exclude each other"),
        (["search", "--timeout"], "--timeout needs a number of seconds"),
        (["search", "--timeout", "0"], 'from 1 to 3600, not "0"'),
        (["search", "--timeout=1e9"], 'from 1 to 3600, not "1e9"'),
        (["search", "--timeout", "-5"], 'from 1 to 3600, not "-5"'),
        (["search", "10.0.0.1;reboot"], 'unexpected argument "10.0.0.1;reboot" for "search"'),
        (["search", "--subnet=0.0.0.0/0"], '"search" does not take the option "--subnet=0.0.0.0/0"'),
        (["printers", "--usb-only"], '"printers" does not take the option "--usb-only"'),
        (["repair"], '"repair" needs what to repair'),
        (["printers", "laser", "--watch"], '"--watch" reports every queue; leave out the queue name'),
        (["hardware", "--watch"], '"hardware" does not take the option "--watch"'),
        (["repair", "everything"], 'unknown repair "everything"'),
        (["repair", "queues", "a'b"], "cannot be a queue name"),
        (["repair", "font", "extra"], 'unexpected argument "extra" for "repair"'),
        (["repair", "spooler", "--json"], '"repair" does not take the option "--json"'),
        (["repair", "--force", "all"], '"repair" does not take the option "--force"'),
    ]
    for args, expected in hostile:
        rc, out, err = run(args)
        if rc != 2:
            fail("%r: exit code %d, expected 2" % (args[:2], rc))
        if out:
            fail("%r: wrote to standard output: %r" % (args[:2], out))
        if not err.startswith("korvanectl: ") or expected not in err or err.count("\n") != 1:
            fail("%r: message %r lacks %r" % (args[:2], err, expected))
        if "\x1b" in err or "\x07" in err:
            fail("%r: control characters reached the terminal" % (args[:2],))
    if os.path.exists("/tmp/korvanectl-pwned"):
        fail("a queue name reached a shell")


REASONS = {"media-empty": "paper-out", "offline": "offline", "toner-low": "toner-low"}


def lpstat_printers(server):
    """name -> dict of what lpstat and lpoptions say about each queue."""
    queues = {}
    current = None
    default = None
    for line in tool(["lpstat", "-h", server, "-l", "-p", "-v", "-d"]).splitlines():
        if line.startswith("printer "):
            words = line.split()
            current = {"name": words[1], "problems": []}
            if " disabled since " in line:
                current["state"] = "stopped"
            elif " now printing " in line:
                current["state"] = "printing"
            elif " is idle." in line:
                current["state"] = "idle"
            else:
                fail("unexpected lpstat line %r" % line)
            queues[words[1]] = current
        elif line.startswith("\tDescription: "):
            current["description"] = line[len("\tDescription: "):]
        elif line.startswith("\tLocation: "):
            current["location"] = line[len("\tLocation: "):]
        elif line.startswith("\tAlerts: "):
            reasons = line[len("\tAlerts: "):].split()
            for reason in reasons:
                if reason in ("none", "paused"):  # paused is the state "stopped"
                    continue
                for suffix in ("-error", "-warning", "-report"):
                    if reason.endswith(suffix):
                        reason = reason[: -len(suffix)]
                if reason not in REASONS:
                    fail("the bed has a reason this test does not map: %r" % reason)
                current["problems"].append(REASONS[reason])
        elif line.startswith("device for "):
            name, uri = line[len("device for "):].split(": ", 1)
            # lpstat shows a file: URI without its scheme.
            queues[name]["device"] = "file:" + uri if uri.startswith("///") else uri
        elif line.startswith("system default destination: "):
            default = line.split(": ", 1)[1]
    for name, queue in queues.items():
        queue["default"] = name == default
        queue["jobs"] = 0
        queue["server"] = ""
        options = dict(
            word.split("=", 1) if "=" in word else (word, "")
            for word in shlex.split(tool(["lpoptions", "-h", server, "-p", name])))
        queue["shared"] = options["printer-is-shared"] == "true"
        queue["driver"] = options.get("printer-make-and-model", "")
        if options["device-uri"] != queue["device"]:
            fail("%s: lpoptions says device %r, lpstat %r" % (name, options["device-uri"], queue["device"]))
    for line in tool(["lpstat", "-h", server, "-o"]).splitlines():
        job = line.split()[0]
        queues[job.rsplit("-", 1)[0]]["jobs"] += 1
    return default, queues


def printers():
    server = os.environ["CUPS_SERVER"]
    rc, out, err = run(["printers", "--json"])
    if rc != 0:
        fail("printers --json: exit code %d, %s" % (rc, err))
    document = json.loads(out)
    default, expected = lpstat_printers(server)
    if document["default"] != default:
        fail("default %r, lpstat says %r" % (document["default"], default))
    if document["scheduler"] != server:
        fail("scheduler %r" % document["scheduler"])
    got = {p["name"]: p for p in document["printers"]}
    if sorted(got) != sorted(expected):
        fail("queues %s, lpstat says %s" % (sorted(got), sorted(expected)))
    for name, queue in expected.items():
        for key, value in queue.items():
            if key == "problems":
                same = sorted(got[name][key]) == sorted(value)
            else:
                same = got[name].get(key) == value
            if not same:
                fail("%s.%s is %r, lpstat says %r" % (name, key, got[name].get(key), value))
        if set(got[name]) != {"name", "server", "state", "problems", "jobs", "default", "shared", "device",
                              "driver", "description", "location"}:
            fail("%s has keys %s" % (name, sorted(got[name])))
    # The text table: a header, then one line per queue in the same order.
    rc, out, _ = run(["printers"])
    lines = out.splitlines()
    if rc != 0 or lines[0].split() != ["NAME", "STATE", "JOBS", "DEFAULT", "SHARED", "DEVICE", "DRIVER"]:
        fail("printers table header: %r" % lines[:1])
    if [line.split()[0] for line in lines[1:]] != [p["name"] for p in document["printers"]]:
        fail("printers table rows differ from the JSON")
    # One queue by name, and one that does not exist.
    rc, out, _ = run(["printers", "stopped", "--json"])
    one = json.loads(out)["printers"]
    if rc != 0 or [p["name"] for p in one] != ["stopped"] or one[0] != got["stopped"]:
        fail("printers stopped --json: %r" % one)
    rc, out, err = run(["printers", "nosuchqueue"])
    if rc != 1 or out or 'there is no queue named "nosuchqueue"' not in err:
        fail("printers nosuchqueue: rc %d err %r" % (rc, err))
    # A scheduler that is not there.
    env = dict(os.environ, CUPS_SERVER=server + ".absent")
    rc, out, err = run(["printers", "--json"], env)
    if rc != 1 or out or "does not answer" not in err:
        fail("absent scheduler: rc %d out %r err %r" % (rc, out, err))


class SystemBusWithFirewalld:
    """The dbus bed's private system bus with a firewalld mock whose one
    active zone lets printer discovery (mDNS) in and sharing (IPP) not."""

    def __init__(self, bed, folder):
        self.bed, self.folder, self.mock = bed, folder, None
        subprocess.run([bed, "up", folder], check=True, timeout=60)
        with open(os.path.join(folder, "address")) as f:
            self.address = f.read().strip()
        zones = {"default_zone": "public",
                 "zones": {"public": {"interfaces": ["eth0"], "services": ["ssh", "mdns"]}}}
        env = dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=self.address)
        self.mock = subprocess.Popen(
            ["/usr/bin/python3", "-m", "dbusmock", "--system", "--template",
             os.path.join(os.path.dirname(bed), "firewalld_zones.py"), "-p", json.dumps(zones)],
            env=env, stdout=subprocess.DEVNULL)
        for _ in range(400):
            owned = subprocess.run(
                ["dbus-send", "--bus=" + self.address, "--print-reply", "--dest=org.freedesktop.DBus",
                 "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
                 "string:org.fedoraproject.FirewallD1"], capture_output=True, timeout=10).stdout
            if b"boolean true" in owned:
                return
            time.sleep(0.05)
        self.close()
        fail("the firewalld mock did not come up")

    def close(self):
        if self.mock:
            self.mock.terminate()
            try:
                self.mock.wait(10)
            except subprocess.TimeoutExpired:
                self.mock.kill()
                self.mock.wait()
        subprocess.run([self.bed, "down", self.folder], timeout=60)


def check():
    with tempfile.TemporaryDirectory() as scratch:
        # No fonts at all: the OCR font check fails the same way everywhere.
        fonts = os.path.join(scratch, "fonts.conf")
        with open(fonts, "w") as f:
            f.write('<?xml version="1.0"?><fontconfig><dir>%s/none</dir><cachedir>%s/cache</cachedir>'
                    '</fontconfig>' % (scratch, scratch))
        os.environ["FONTCONFIG_FILE"] = fonts
        os.environ["HOME"] = scratch
        bus = SystemBusWithFirewalld(sys.argv[3], os.path.join(scratch, "bus"))
        try:
            os.environ["DBUS_SYSTEM_BUS_ADDRESS"] = bus.address
            check_verdicts()
        finally:
            bus.close()


def check_verdicts():
    rc, out, err = run(["check", "--json"])
    document = json.loads(out)
    verdicts = [(c["check"], c["ok"]) for c in document["checks"]]
    queues = [p["name"] for p in json.loads(run(["printers", "--json"])[1])["printers"] if p["server"] == ""]
    expected = ([("spooler", True), ("firewall-discovery", True), ("firewall-sharing", False)]
                + [("queue", name != "stopped") for name in queues] + [("font", False)])
    if verdicts != expected:
        fail("check verdicts %r, expected %r" % (verdicts, expected))
    problems = sum(1 for _, ok in expected if not ok)
    if document["problems"] != problems or rc != problems:
        fail("check: %d problems, exit code %d, expected %d" % (document["problems"], rc, problems))
    for c in document["checks"]:
        if c["ok"] == bool(c["advice"]):
            fail("check %s: advice %r with ok %r" % (c["check"], c["advice"], c["ok"]))
    stuck = [c for c in document["checks"] if c["check"] == "queue" and not c["ok"]]
    if stuck[0]["detail"] != 'queue "stopped" holds stuck jobs':
        fail("stuck queue detail %r" % stuck[0]["detail"])
    rc, out, _ = run(["check"])
    lines = out.splitlines()
    if rc != problems or len(lines) != len(expected) or sum(l.startswith("PROBLEM ") for l in lines) != problems:
        fail("check text: rc %d, lines %r" % (rc, lines))
    # Without a scheduler the spooler check fails and no queue is listed.
    env = dict(os.environ, CUPS_SERVER=os.environ["CUPS_SERVER"] + ".absent")
    rc, out, _ = run(["check", "--json"], env)
    names = [(c["check"], c["ok"]) for c in json.loads(out)["checks"]]
    if names != [("spooler", False), ("firewall-discovery", True), ("firewall-sharing", False), ("font", False)] \
            or rc != 3:
        fail("check without scheduler: rc %d %r" % (rc, names))


def hardware():
    """A fake machine from the sysinfo fixtures: Debian 12 on an i5 desktop
    with 16 GB and a named board; nothing else is there to read."""
    data = os.path.join(sys.argv[3], "tests", "data", "sysinfo")
    expected = {
        "audioCard": "unknown",
        "baseboard": "Velmora Boards KB-42",
        "bit": struct.calcsize("P") * 8,
        "cpu": "Intel(R) Core(TM) i5-7500 CPU @ 3.40GHz",
        "diskDrive": "unknown",
        "monitor": "unknown",
        "networkAdapter": "unknown",
        "physicalMemory": "16GB( 0MHz)",
        "system": "Debian GNU/Linux 12 (bookworm)",
        "videoController": "unknown",
    }
    with tempfile.TemporaryDirectory() as root:
        for folder in ("etc", "proc", "sys/class/dmi/id"):
            os.makedirs(os.path.join(root, folder))
        shutil.copy(os.path.join(data, "os-release", "debian"), os.path.join(root, "etc", "os-release"))
        shutil.copy(os.path.join(data, "cpuinfo", "x86-desktop"), os.path.join(root, "proc", "cpuinfo"))
        shutil.copy(os.path.join(data, "meminfo"), os.path.join(root, "proc", "meminfo"))
        for name, text in (("board_vendor", "Velmora Boards\n"), ("board_name", "KB-42\n")):
            with open(os.path.join(root, "sys", "class", "dmi", "id", name), "w") as f:
                f.write(text)
        env = dict(os.environ, KORVANE_SYSINFO_ROOT=root)
        rc, out, err = run(["hardware", "--json"], env)
        if rc != 0:
            fail("hardware --json: rc %d %s" % (rc, err))
        got = json.loads(out)
        if got.pop("host") != socket.gethostname():
            fail("hardware host %r" % out)
        if got != expected:
            fail("hardware --json %r, expected %r" % (got, expected))
        rc, out, _ = run(["hardware"], env)
        if rc != 0 or "Processor       : " + expected["cpu"] not in out.splitlines() \
                or "Board           : Velmora Boards KB-42" not in out.splitlines():
            fail("hardware text: %r" % out)


NETWORK_PRINTERS = {  # tests/testbeds/lan/profiles/test.lan
    "10.203.7.20": ("Hewlett-Packard", "HP Color LaserJet CP2025dn"),
    "10.203.7.21": ("Brother", "HL-L2350DW series"),
    "10.203.7.22": ("EPSON", "ET-2750 Series"),
    "10.203.7.23": ("Canon", "MF240 Series"),
    "10.203.7.24": ("Lexmark International", "Lexmark MS410dn"),
    "10.203.7.25": ("RICOH", ""),  # its last pair has no closing ";"
    "10.203.7.26": ("", ""),  # lower-case keys
    "10.203.7.27": ("", ""),  # the value starts with a zero byte
}


def search_network():
    """Run inside the LAN bed's scan namespace (bed exec DIR scan ...)."""
    profile = {}
    with open(sys.argv[3]) as f:
        for line in f:
            words = line.split(None, 2)
            if words and words[0] == "printer":
                profile[words[1]] = words[2].rstrip("\n")
    rc, out, err = run(["search", "--network-only", "--json"])
    document = json.loads(out)
    if rc != 0 or document["usb"] or document["interrupted"]:
        fail("search --network-only: rc %d %r" % (rc, out[:300]))
    got = {p["ip"]: p for p in document["network"]}
    if len(got) != len(document["network"]) or sorted(got) != sorted(NETWORK_PRINTERS):
        fail("network printers %s" % [p["ip"] for p in document["network"]])
    for ip, (mfg, mdl) in NETWORK_PRINTERS.items():
        if (got[ip]["mfg"], got[ip]["mdl"]) != (mfg, mdl):
            fail("%s: %r %r" % (ip, got[ip]["mfg"], got[ip]["mdl"]))
        if ip != "10.203.7.27" and got[ip]["deviceId"] != profile[ip]:
            fail("%s: device id %r, the bed has %r" % (ip, got[ip]["deviceId"], profile[ip]))
        if got[ip]["details"]["source"] != ["snmp"]:
            fail("%s: details %r" % (ip, got[ip]["details"]))
    if got["10.203.7.27"]["deviceId"] != "":
        fail("the id starting with a zero byte came out as %r" % got["10.203.7.27"]["deviceId"])
    # Text: one line per printer as found, then the count; piped, so no
    # progress line anywhere.
    rc, out, err = run(["search", "--network-only", "--timeout", "600"])
    lines = out.splitlines()
    if rc != 0 or lines[-1] != "8 printer(s) found." or "\r" in out + err:
        fail("search text: rc %d %r" % (rc, out))
    if sorted(lines[:-1]) != sorted(("network  %s  %s  %s" % (ip, mfg or "-", mdl)).strip()
                                    for ip, (mfg, mdl) in NETWORK_PRINTERS.items()):
        fail("search text lines %r" % lines)


# tests/data/umockdev/usb-printers.umockdev: (first hardware id, search
# method, manufacturer, friendly name, description).
USB_PRINTERS = [
    ("USB\\VID_03F0&PID_1853", 0, "HP", "LaserJet Pro M404-M405", "LaserJet Pro M404-M405"),
    ("USB\\VID_04B8&PID_1181", 0, "EPSON", "ET-2810 Series", "ET-2810 Series"),
    ("USB\\VID_03F0&PID_C511", 1, "HP", "OfficeJet Pro 9010 series", "OfficeJet Pro 9010 series"),
    ("USB\\VID_04F9&PID_0042", 3, "", "", "HL-2030 series"),
    ("USB\\VID_04A9&PID_2771", 3, "", "", "LBP6030/6040/6018L"),
]


def search_usb():
    """Run under umockdev-run with the USB fixture (or none: argv[3] "empty")."""
    if sys.argv[3] == "empty":
        rc, out, err = run(["search", "--usb-only", "--json"])
        document = json.loads(out)
        if rc != 1 or document["usb"] or document["network"] or document["usbDevices"] != []:
            fail("search without USB devices: rc %d %r" % (rc, out))
        rc, out, _ = run(["search", "--usb-only"])
        if rc != 1 or out != "No printers found.\n":
            fail("search text without USB devices: rc %d %r" % (rc, out))
        return
    rc, out, err = run(["search", "--usb-only", "--json"])
    document = json.loads(out)
    got = [(p["hardwareids"][0], p["searchMethod"], p["mfg"], p["friendlyName"], p["deviceDesc"])
           for p in document["usb"]]
    if rc != 0 or document["network"] or got != USB_PRINTERS:
        fail("search --usb-only: rc %d %r" % (rc, got))
    # The second pass adds nothing here: the serial adapter and the memory
    # stick run drivers of their own, the printers came with the first pass.
    if document["usbDevices"] != []:
        fail("search --usb-only usbDevices: %r" % document["usbDevices"])
    laser = document["usb"][0]
    if laser["compatibleids"] != ["USBPRINT\\HPLaserJet_Pro_M404-M405", "USB\\Class_07&SubClass_01&Prot_02",
                                  "USB\\Class_07&SubClass_01", "USB\\Class_07"]:
        fail("laser compatible ids %r" % laser["compatibleids"])
    rc, out, err = run(["search", "--usb-only"])
    expected = ["usb      %s  %s  %s" % (mfg or "-", name or desc, hwid) for hwid, _, mfg, name, desc in USB_PRINTERS]
    if rc != 0 or out.splitlines() != expected + ["5 printer(s) found."] or "\r" in err:
        fail("search --usb-only text: rc %d %r" % (rc, out))


def queued_jobs(server):
    return len(tool(["lpstat", "-h", server, "-o"]).splitlines())


def repair():
    """Cancelling jobs on a scheduler of this test's own: asked first."""
    server = os.environ["CUPS_SERVER"]
    if queued_jobs(server) != 2:
        fail("the bed should start with the two jobs of \"stopped\"")

    def repair_run(args, answer):
        done = subprocess.run([ctl, "repair"] + args, input=answer, capture_output=True, timeout=120)
        return done.returncode, done.stdout.decode(), done.stderr.decode()

    for answer in (b"n\n", b"", b"yes please\n", b"\x1b[2J\n"):
        rc, out, err = repair_run(["queues"], answer)
        if rc != 1 or "Cancel 2 unfinished job(s) on every queue?" not in err \
                or "queues: nothing was cancelled" not in err or out or queued_jobs(server) != 2:
            fail("repair queues answered %r: rc %d out %r err %r" % (answer, rc, out, err))
    rc, out, err = repair_run(["queues", "inkjet"], b"")
    if rc != 0 or out != 'queues: queue "inkjet" holds no unfinished jobs; nothing to cancel\n':
        fail("repair queues inkjet: rc %d %r %r" % (rc, out, err))
    rc, out, err = repair_run(["queues", "stopped"], b"y\n")
    if rc != 0 or out != "queues: done\n" or 'on queue "stopped"?' not in err or queued_jobs(server) != 0:
        fail("repair queues stopped, answered y: rc %d out %r err %r" % (rc, out, err))
    tool(["lp", "-h", server, "-d", "stopped", "-H", "hold", "/etc/hostname"])
    tool(["lp", "-h", server, "-d", "laser", "-H", "hold", "/etc/hostname"])
    rc, out, err = repair_run(["queues", "--yes"], b"")
    if rc != 0 or out != "queues: done\n" or "[y/N]" in err or queued_jobs(server) != 0:
        fail("repair queues --yes: rc %d out %r err %r" % (rc, out, err))
    rc, out, err = repair_run(["queues", "nosuch"], b"")
    if rc != 0 or out != 'queues: queue "nosuch" holds no unfinished jobs; nothing to cancel\n':
        fail("repair queues nosuch: rc %d %r %r" % (rc, out, err))


def watch():
    """printers --watch --json on a scheduler of this test's own: each change
    made with lpadmin/cupsdisable/cupsreject arrives as one line, SIGINT ends it."""
    import queue
    import signal
    import threading
    server = os.environ["CUPS_SERVER"]
    process = subprocess.Popen([ctl, "printers", "--watch", "--json"], stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE)
    lines = queue.Queue()
    threading.Thread(target=lambda: [lines.put(l) for l in process.stdout], daemon=True).start()
    errors = queue.Queue()
    threading.Thread(target=lambda: [errors.put(l) for l in process.stderr], daemon=True).start()
    try:
        try:
            first = errors.get(timeout=60)
        except queue.Empty:
            fail("--watch never said it was watching")
        if first != b"korvanectl: watching for printer changes; Ctrl+C ends\n":
            fail("--watch said %r" % first)
        base = {"default": False, "jobs": 0, "problems": [], "server": "", "shared": False}
        steps = [
            (["lpadmin", "-h", server, "-p", "watched", "-v", "file:///dev/null", "-E"],
             dict(base, changes=["added"], fields=[], name="watched", state="idle")),
            (["cupsdisable", "-h", server, "inkjet"],
             dict(base, changes=["modified"], fields=["status"], name="inkjet", state="stopped")),
            (["lpadmin", "-h", server, "-x", "watched"],
             {"changes": ["deleted"], "fields": [], "name": "watched", "server": ""}),
            (["cupsenable", "-h", server, "inkjet"],
             dict(base, changes=["modified"], fields=["status"], name="inkjet", state="idle")),
            (["cupsreject", "-h", server, "inkjet"],
             dict(base, changes=["modified"], fields=["accepting"], name="inkjet", state="idle")),
            (["cupsaccept", "-h", server, "inkjet"],
             dict(base, changes=["modified"], fields=["accepting"], name="inkjet", state="idle")),
        ]
        for command, expected in steps:
            tool(command)
            try:
                line = lines.get(timeout=60)
            except queue.Empty:
                fail("no change reported after %s" % command)
            if json.loads(line) != expected:
                fail("after %s: %r, expected %r" % (command, line, expected))
        process.send_signal(signal.SIGINT)
        if process.wait(timeout=60) != 0:
            fail("--watch ended with %d on SIGINT" % process.returncode)
        time.sleep(0.2)  # the reader threads take the last bytes
        if not lines.empty():
            fail("--watch reported more: %r" % lines.get())
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()


def lpstat_devices(server):
    """queue name -> device URI, as lpstat -v says."""
    devices = {}
    for line in tool(["lpstat", "-h", server, "-v"]).splitlines():
        name, uri = line[len("device for "):].split(": ", 1)
        devices[name] = uri
    return devices


def make_and_model(server, name):
    options = dict(word.split("=", 1) if "=" in word else (word, "")
                   for word in shlex.split(tool(["lpoptions", "-h", server, "-p", name])))
    return options["printer-make-and-model"]


def ppd_nickname(bed, name):
    with open(os.path.join(bed, "cups", "etc", "ppd", name + ".ppd"), encoding="utf-8") as f:
        for line in f:
            if line.startswith("*NickName: "):
                return line[len("*NickName: "):].strip().strip('"')
    return None


# What the bed's ippeveprinter says about itself (tests/testbeds/ippprinter/bed).
BED_PRINTER = {"address": "127.0.0.1", "uri": "ipp://127.0.0.1:631/ipp/print", "ipp": True, "driverless": True,
               "makeAndModel": "Acme Laser 100", "deviceId": "MFG:Acme;MDL:Laser 100;CMD:PDF,PWG,URF;"}


def add():
    """Inside the ippprinter bed's namespace: its printer on 127.0.0.1:631,
    nothing else reachable; CUPS_SERVER is the bed's scheduler."""
    server = os.environ["CUPS_SERVER"]
    bed = sys.argv[3]
    uri = BED_PRINTER["uri"]
    pwned = "/tmp/korvanectl-add-pwned"
    if os.path.exists(pwned):
        os.unlink(pwned)
    before = lpstat_devices(server)
    if "Printer" in before or "Acme_Laser_100" in before:
        fail("the bed already has the queues this test adds: %s" % sorted(before))

    # Bad input: exit code 2, one line on standard error, nothing asked,
    # nothing added, no shell.
    hostile = [
        (["add"], '"add" needs the printer'),
        (["add", "-oProxyCommand=x"], '"add" does not take the option "-oProxyCommand=x"'),
        (["add", "a;b"], '"a;b" is neither a printer URI nor a host name or IPv4 address'),
        (["add", '"127.0.0.1"'], 'is neither a printer URI nor a host name'),
        (["add", "'127.0.0.1'"], 'is neither a printer URI nor a host name'),
        (["add", "$(touch %s)" % pwned], 'is neither a printer URI nor a host name'),
        (["add", "`touch %s`" % pwned], 'is neither a printer URI nor a host name'),
        (["add", "127.0.0.1 ; touch %s" % pwned], 'is neither a printer URI nor a host name'),
        (["add", "x" * 4096], "argument too long (4096 characters; at most 256)"),
        (["add", "a" * 254], 'is neither a printer URI nor a host name'),
        (["add", "ipp://127.0.0.1:631/ipp/print\"; touch %s" % pwned], "is not a printer URI korvanectl can use"),
        (["add", "ipp://user@127.0.0.1/ipp/print"], "is not a printer URI korvanectl can use"),
        (["add", "ipp://127.0.0.1"], "is not a printer URI korvanectl can use"),
        (["add", "socket://127.0.0.1:99999"], "is not a printer URI korvanectl can use"),
        (["add", "file:///etc/passwd"], '"add" takes ipp://, ipps:// or socket:// URIs, not "file:///etc/passwd"'),
        (["add", "http://127.0.0.1/"], '"add" takes ipp://, ipps:// or socket:// URIs'),
        (["add", "127.0.0.1", "--name"], "--name needs a queue name"),
        (["add", "127.0.0.1", "--name", "a b"], '"a b" cannot be a queue name'),
        (["add", "127.0.0.1", "--name=x'; touch %s" % pwned], "cannot be a queue name"),
        (["add", "127.0.0.1", "--name", "n" * 128], "cannot be a queue name"),
        (["add", "127.0.0.1", "--name", "a", "--name", "b"], "--name is given twice"),
        (["add", "127.0.0.1", "--frob"], '"add" does not take the option "--frob"'),
        (["add", "127.0.0.1", "10.0.0.1"], 'unexpected argument "10.0.0.1" for "add"'),
        (["add", "--json", "\x1b]0;t\x07"], "holds control characters"),
    ]
    for args, expected in hostile:
        rc, out, err = run(args)
        if rc != 2 or out:
            fail("%r: exit code %d, out %r" % (args[:3], rc, out))
        if not err.startswith("korvanectl: ") or expected not in err or err.count("\n") != 1:
            fail("%r: message %r lacks %r" % (args[:3], err, expected))
    if lpstat_devices(server) != before or os.path.exists(pwned):
        fail("bad input added a queue or reached a shell")

    # A URI: a driverless queue named "Printer" (no model known).
    rc, out, err = run(["add", uri, "--json"])
    if rc != 0:
        fail("add URI: rc %d %s" % (rc, err))
    driver = make_and_model(server, "Printer")
    expected = {"added": True, "queue": "Printer", "uri": uri, "driverless": True, "driver": driver,
                "found": None, "error": None}
    if json.loads(out) != expected:
        fail("add URI --json: %r, expected %r" % (out, expected))
    devices = lpstat_devices(server)
    if devices != dict(before, Printer=uri):
        fail("after add URI lpstat -v says %r" % devices)
    # The scheduler made the driver from the printer's answer.
    if ppd_nickname(bed, "Printer") != driver or not driver.endswith(" - IPP Everywhere"):
        fail("the queue's PPD is %r, lpoptions says %r" % (ppd_nickname(bed, "Printer"), driver))

    # An address: asked, what answered printed, then added after its model.
    rc, out, err = run(["add", "127.0.0.1"])
    driver = make_and_model(server, "Acme_Laser_100") if rc == 0 else ""
    if rc != 0 or out.splitlines() != [
            "Found at 127.0.0.1: Acme Laser 100 (IPP Everywhere (driverless)) " + uri,
            'Added queue "Acme_Laser_100" for %s: driverless (%s)' % (uri, driver)]:
        fail("add 127.0.0.1: rc %d out %r err %r" % (rc, out, err))
    if ppd_nickname(bed, "Acme_Laser_100") != driver or not driver.endswith(" - IPP Everywhere"):
        fail("Acme_Laser_100's PPD %r" % ppd_nickname(bed, "Acme_Laser_100"))

    # A name given, by host name.
    rc, out, err = run(["add", "localhost", "--name", "front-desk", "--json"])
    expected = {"added": True, "queue": "front-desk", "uri": uri, "driverless": True,
                "driver": make_and_model(server, "front-desk") if rc == 0 else None,
                "found": BED_PRINTER, "error": None}
    if rc != 0 or json.loads(out) != expected:
        fail("add localhost --name front-desk: rc %d %r err %r" % (rc, out, err))
    added = dict(before, Printer=uri, Acme_Laser_100=uri)
    added["front-desk"] = uri
    if lpstat_devices(server) != added:
        fail("after --name lpstat -v says %r" % lpstat_devices(server))

    # A name that is taken (CUPS ignores case): refused, nothing added.
    rc, out, err = run(["add", "127.0.0.1", "--name=FRONT-desk", "--json"])
    expected = {"added": False, "queue": None, "uri": uri, "driverless": True, "driver": None,
                "found": BED_PRINTER, "error": "name-taken"}
    if rc != 2 or json.loads(out) != expected or \
            'a queue named "FRONT-desk" exists already; choose another --name' not in err:
        fail("add with a taken name: rc %d %r err %r" % (rc, out, err))

    # Nothing there, a name that does not resolve, a raw port without a
    # known model, an IPP URI the scheduler cannot reach: exit 1, no queue.
    failures = [
        (["add", "10.203.255.1", "--json"], "nothing-found", None, False,
         "no printer answered at 10.203.255.1 (IPP on port 631, IPPS, SNMP)"),
        (["add", "no-such-printer.invalid", "--json"], "unknown-host", None, False,
         'the name "no-such-printer.invalid" does not resolve'),
        (["add", "socket://127.0.0.1:9100", "--json"], "no-driver", "socket://127.0.0.1:9100", False,
         "no installed driver fits a printer of unknown model"),
        (["add", "ipp://127.0.0.1:9/ipp/print", "--json"], "unreachable", "ipp://127.0.0.1:9/ipp/print", True,
         "the print scheduler could not reach the printer at ipp://127.0.0.1:9/ipp/print"),
    ]
    for args, error, tried, driverless, message in failures:
        rc, out, err = run(args)
        expected = {"added": False, "queue": None, "uri": tried, "driverless": driverless, "driver": None,
                    "found": None, "error": error}
        if rc != 1 or json.loads(out) != expected or message not in err:
            fail("%r: rc %d %r err %r" % (args[1], rc, out, err))
    if lpstat_devices(server) != added:
        fail("a failed add left queues: %r" % lpstat_devices(server))
    rc, out, err = run(["add", "10.203.255.1"])
    if rc != 1 or out:
        fail("add 10.203.255.1 text: rc %d out %r" % (rc, out))


def add_lan():
    """Inside the scan namespace of a LAN bed with profiles/korvanectl.lan:
    printers that answer SNMP only; CUPS_SERVER is a scheduler of this
    test's own."""
    server = os.environ["CUPS_SERVER"]
    before = lpstat_devices(server)
    fuji = "FUJI_XEROX_DocuPrint_CM305_df"
    # A model an installed driver fits: a queue on the raw port with it.
    rc, out, err = run(["add", "10.203.9.20"])
    if rc != 0 or out.splitlines() != [
            "Found at 10.203.9.20: FUJI XEROX DocuPrint CM305 df (answers SNMP only; raw port 9100) "
            "socket://10.203.9.20:9100",
            'Added queue "%s" for socket://10.203.9.20:9100: with the driver "Fuji Xerox DocuPrint CM305 df PDF"'
            % fuji]:
        fail("add 10.203.9.20: rc %d out %r err %r" % (rc, out, err))
    if make_and_model(server, fuji) != "Fuji Xerox DocuPrint CM305 df PDF":
        fail("%s has the driver %r" % (fuji, make_and_model(server, fuji)))
    added = dict(before)
    added[fuji] = "socket://10.203.9.20:9100"
    if lpstat_devices(server) != added:
        fail("after add 10.203.9.20 lpstat -v says %r" % lpstat_devices(server))
    # A model no installed driver fits: what answered, exit 1, nothing added.
    rc, out, err = run(["add", "10.203.9.21", "--name", "hp-colour", "--json"])
    found = {"address": "10.203.9.21", "uri": "socket://10.203.9.21:9100", "ipp": False, "driverless": False,
             "makeAndModel": "Hewlett-Packard HP Color LaserJet CP2025dn",
             "deviceId": "MFG:Hewlett-Packard;CMD:PJL,PCL;MDL:HP Color LaserJet CP2025dn;CLS:PRINTER;"}
    expected = {"added": False, "queue": None, "uri": "socket://10.203.9.21:9100", "driverless": False,
                "driver": None, "found": found, "error": "no-driver"}
    if rc != 1 or json.loads(out) != expected or \
            'no installed driver fits "Hewlett-Packard HP Color LaserJet CP2025dn"' not in err:
        fail("add 10.203.9.21: rc %d %r err %r" % (rc, out, err))
    # A host that is no printer.
    rc, out, err = run(["add", "10.203.9.30", "--json"])
    expected = {"added": False, "queue": None, "uri": None, "driverless": False, "driver": None, "found": None,
                "error": "nothing-found"}
    if rc != 1 or json.loads(out) != expected:
        fail("add 10.203.9.30: rc %d %r" % (rc, out))
    if lpstat_devices(server) != added:
        fail("a failed add changed the queues: %r" % lpstat_devices(server))


def add_refused():
    """A scheduler that refuses every administrative request (the strict
    bed): the add is tried once more through pkexec with lpadmin, as an
    argument vector; pkexec refusing (no agent, not authorised) is exit code
    3 with what to do, and nothing is added."""
    server = os.environ["CUPS_SERVER"]
    uri = "ipp://10.203.7.40:8631/ipp/print"
    before = lpstat_devices(server)
    with tempfile.TemporaryDirectory() as fake:
        with open(os.path.join(fake, "pkexec"), "w") as f:
            f.write('#!/bin/sh\nfor a in "$@"; do printf "%%s\\n" "$a"; done > %s/args\nexit 127\n' % fake)
        os.chmod(os.path.join(fake, "pkexec"), 0o755)
        env = dict(os.environ, PATH=fake + ":" + os.environ["PATH"])
        rc, out, err = run(["add", uri, "--name", "desk-2", "--json"], env)
        expected = {"added": False, "queue": None, "uri": uri, "driverless": True, "driver": None, "found": None,
                    "error": "refused"}
        if rc != 3 or json.loads(out) != expected or \
                "run as root (sudo korvanectl add ...) or as a member of the lpadmin group" not in err:
            fail("refused add: rc %d %r err %r" % (rc, out, err))
        with open(os.path.join(fake, "args")) as f:
            argv = f.read().splitlines()
        if not argv or not argv[0].endswith("/lpadmin") or \
                argv[1:] != ["-h", server, "-p", "desk-2", "-E", "-v", uri, "-m", "everywhere"]:
            fail("pkexec ran %r" % argv)
    if lpstat_devices(server) != before:
        fail("the refused add left a queue")


# tests/testbeds/lan/profiles/routed20.lan: the printers that answer at once.
ROUTED_PRINTERS = {
    "10.203.32.20": ("Hewlett-Packard", "HP LaserJet M507"),
    "10.203.36.40": ("Brother", "MFC-L8900CDW series"),
    "10.203.44.7": ("EPSON", "WF-C5790 Series"),
    "10.203.33.9": ("RICOH", "IM C3000"),
    "10.203.47.200": ("Canon", "iR-ADV C3720"),
    "10.203.41.77": ("KYOCERA", "TASKalfa 2553ci"),
}


class PtyRun:
    """korvanectl with its standard output and error on terminals of their
    own, as in an interactive shell (so it shows its progress line)."""

    def __init__(self, args):
        import pty
        self.out_master, out_slave = pty.openpty()
        self.err_master, err_slave = pty.openpty()
        self.process = subprocess.Popen([ctl] + args, stdin=subprocess.DEVNULL, stdout=out_slave,
                                        stderr=err_slave)
        os.close(out_slave)
        os.close(err_slave)
        self.out = b""
        self.err = b""

    def read_until(self, stream, needle, seconds):
        """Reads from "out" or "err" until needle arrives (or the program
        ends); whether it came."""
        import select
        deadline = time.monotonic() + seconds
        fd = self.out_master if stream == "out" else self.err_master
        while needle not in getattr(self, stream) and time.monotonic() < deadline:
            ready, _, _ = select.select([self.out_master, self.err_master], [], [], 0.5)
            for r in ready:
                try:
                    chunk = os.read(r, 65536)
                except OSError:  # the other end closed
                    chunk = b""
                if r == self.out_master:
                    self.out += chunk
                else:
                    self.err += chunk
                if not chunk and r == fd:
                    return needle in getattr(self, stream)
        return needle in getattr(self, stream)

    def finish(self, seconds):
        """Reads both to their end and waits; the exit code."""
        deadline = time.monotonic() + seconds
        open_fds = [self.out_master, self.err_master]
        import select
        while open_fds and time.monotonic() < deadline:
            ready, _, _ = select.select(open_fds, [], [], 0.5)
            for r in ready:
                try:
                    chunk = os.read(r, 65536)
                except OSError:
                    chunk = b""
                if not chunk:
                    open_fds.remove(r)
                elif r == self.out_master:
                    self.out += chunk
                else:
                    self.err += chunk
        code = self.process.wait(timeout=max(1, deadline - time.monotonic()))
        os.close(self.out_master)
        os.close(self.err_master)
        return code

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


def search_interrupt():
    """Inside the routed LAN bed's scan namespace: its sweep takes seconds,
    the first printers answer after it, one agent answers 4 s later still."""
    import signal
    # --json: Ctrl+C once the progress line is up; one complete document.
    run_ = PtyRun(["search", "--network-only", "--json"])
    try:
        if not run_.read_until("err", b"Searching...", 120):
            fail("no progress line on the terminal: %r" % run_.err)
        run_.process.send_signal(signal.SIGINT)
        rc = run_.finish(120)
    finally:
        run_.kill()
    out = run_.out.decode().replace("\r\n", "\n")
    err = run_.err.decode()
    document = json.loads(out)
    if sorted(document) != ["interrupted", "network", "usb", "usbDevices"]:
        fail("interrupted --json keys %s" % sorted(document))
    if document["interrupted"] is not True or document["usb"] or document["usbDevices"]:
        fail("interrupted --json: %r" % out)
    for printer in document["network"]:
        if (printer["mfg"], printer["mdl"]) != ROUTED_PRINTERS.get(printer["ip"]):
            fail("interrupted --json holds %r" % printer)
    if len({p["ip"] for p in document["network"]}) != len(document["network"]):
        fail("a printer twice: %r" % out)
    if rc != (0 if document["network"] else 1):
        fail("interrupted --json: exit code %d with %d printers" % (rc, len(document["network"])))
    if err.rfind("\r\x1b[K") < err.rfind("Searching..."):
        fail("the progress line was left on the terminal: %r" % err[-200:])

    # Text: Ctrl+C after the first printer; it and whatever came with it are
    # printed, then the count, exit code 0.
    run_ = PtyRun(["search", "--network-only"])
    try:
        if not run_.read_until("out", b"\n", 120):
            fail("no printer reported: %r" % run_.out)
        run_.process.send_signal(signal.SIGINT)
        rc = run_.finish(120)
    finally:
        run_.kill()
    lines = run_.out.decode().replace("\r\n", "\n").splitlines()
    err = run_.err.decode()
    expected = {("network  %s  %s  %s" % (ip, mfg, mdl)) for ip, (mfg, mdl) in ROUTED_PRINTERS.items()}
    if rc != 0 or not lines[:-1] or not set(lines[:-1]) <= expected or len(set(lines[:-1])) != len(lines) - 1 \
            or lines[-1] != "%d printer(s) found." % (len(lines) - 1):
        fail("interrupted text search: rc %d %r" % (rc, lines))
    if "korvanectl: the search was interrupted; these are the printers found until then" not in err:
        fail("no word of the interruption: %r" % err[-300:])


def search_usb2():
    """Under umockdev-run with usb2-only-printer.umockdev: a Samsung printer
    whose printer interface a libusb driver holds (only the second USB pass
    reports it), a serial adapter (a driver of its own, no printer interface:
    left out) and a Brother printer without a driver (the first pass reports
    it; the second does not repeat it)."""
    rc, out, err = run(["search", "--usb-only", "--json"])
    document = json.loads(out)
    if rc != 0 or document["network"] or document["interrupted"]:
        fail("search --usb-only: rc %d %r" % (rc, out))
    if [(p["hardwareids"][0], p["searchMethod"], p["deviceDesc"]) for p in document["usb"]] != \
            [("USB\\VID_04F9&PID_0042", 3, "HL-2030 series")]:
        fail("first pass: %r" % document["usb"])
    expected = [{"name": "M2020 Series", "maker": "Samsung Electronics Co., Ltd.", "vidPid": "04E8:3301",
                 "hasDriver": True, "isPrinter": True, "services": ["usbccgp", "usbfs"],
                 "ids": ["USB\\VID_04E8&PID_3301&REV_0100", "USB\\VID_04E8&PID_3301\\ZF44B8KG123456"]}]
    if document["usbDevices"] != expected:
        fail("usbDevices %r, expected %r" % (document["usbDevices"], expected))
    rc, out, err = run(["search", "--usb-only"])
    if rc != 0 or out.splitlines() != [
            "usb      -  HL-2030 series  USB\\VID_04F9&PID_0042",
            "usb-dev  Samsung Electronics Co., Ltd.  M2020 Series  04E8:3301  driver usbccgp,usbfs",
            "2 printer(s) found."]:
        fail("search --usb-only text: rc %d %r" % (rc, out))


{"usage": usage, "printers": printers, "check": check, "hardware": hardware,
 "search-network": search_network, "search-usb": search_usb,
 "repair": repair, "watch": watch, "add": add, "add-lan": add_lan, "add-refused": add_refused,
 "search-interrupt": search_interrupt,
 "search-usb2": search_usb2}[case]()
print("ok: " + case)
