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
        if rc != 1 or document["usb"] or document["network"]:
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


{"usage": usage, "printers": printers, "check": check, "hardware": hardware,
 "search-network": search_network, "search-usb": search_usb,
 "repair": repair, "watch": watch}[case]()
print("ok: " + case)
