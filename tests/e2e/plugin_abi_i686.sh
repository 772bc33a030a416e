#!/usr/bin/env bash
# The shipped 32-bit Pellumin.dll runs here under 32-bit Wine, but only in our
# own GCC-built stand-in host (plugin_host.sh), so its binary contract with
# an MSVC-built host is also read from the file: every table the host calls is
# found by its symbol, each slot is mapped to the function it points to, and
# the order of the operations, the number of slots and the calling
# convention of each callee are checked. MSVC calls virtual member functions
# with __thiscall: the object in ECX, the callee pops its stack arguments, so
# each of its returns is "ret 4 x (stack arguments)" (a plain "ret" for none).
# The plug-in's calls into the host's profile documents are read the same
# way: each goes to the slot of its operation in the host's table, whose
# slot 0 is the host's destructor. The class records give the sizes the
# classes are registered with.
set -uo pipefail

dll="$ROOT/build/win32/plugin/Pellumin.dll"
[ -f "$dll" ] || { echo "missing $dll (build the win32 preset)"; exit 1; }
for tool in i686-w64-mingw32-nm i686-w64-mingw32-objdump c++filt python3; do
  command -v "$tool" >/dev/null || { echo "missing $tool"; exit 1; }
done

python3 - "$dll" <<'EOF'
import re, struct, subprocess, sys

dll = sys.argv[1]

# The host's profile document (IXMLProfile): its deleting destructor, then
# the 28 document operations with their stack arguments.
PROFILE = [("DeletingDestructor", 1), ("GetNodeType", 1), ("GetNodeName", 1), ("GetNodeText", 1),
           ("GetParentNode", 1), ("GetFirstChild", 1), ("GetNextSibling", 1), ("FindChild", 2), ("AddNode", 5),
           ("FindOrAddChild", 4), ("AddPath", 3), ("FindPath", 1), ("RemoveChildrenWhere", 4),
           ("RemoveChildren", 2), ("RemoveNode", 1), ("SetNodeText", 2), ("SetNodeType", 2), ("GetAttrName", 1),
           ("GetAttribute", 2), ("GetAttrValue", 1), ("GetFirstAttr", 1), ("GetNextAttr", 1), ("FindAttr", 2),
           ("AddAttr", 2), ("ResetAttribute", 2), ("SetAttribute", 3), ("SetAttr", 3), ("RemoveAttr", 2),
           ("RemoveAllAttrs", 1)]

# The class records: (class name, object size).
RECORDS = {"ui::CListNoteRender::kClassRecord": ("CListNoteRender", 536),
           "push::CPushProvider::kClassRecord": ("CPushProvider", 3089),
           "push::CPushRegGinaExtend::kClassRecord": ("PushRegGinaExtend", 44)}

# Each table as the host calls it: (operation, stack arguments), slot by slot.
R = lambda n, args: [("Reserved%d" % n, args)]
TABLES = {
    "addin::CAddin": [("GetName", 0), ("GetDescription", 0), ("GetBuildDate", 0), ("GetBuildTime", 0),
                      ("GetRequiredInterfaces", 2), ("Initialize", 3), ("Uninitialize", 0), ("GetPort", 0),
                      ("GetFeatureEntries", 2), ("PreTranslateModuleMessage", 2), ("PreCreateFeature", 5),
                      ("RefreshModules", 0), ("OnUserLogin", 1), ("OnUserProfile", 1)]
                     + R(1, 1) + R(2, 1) + [("OnUserLogout", 2)]
                     + sum((R(n, 1) for n in range(3, 12)), []) + R(12, 2)
                     + [("OnModuleCommand", 5), ("DeletingDestructor", 1)],
    "addin::CFeatureEntry": [("GetId", 0), ("GetPlacement", 0), ("GetName", 0), ("GetCaption", 0),
                             ("GetClassRecord", 0), ("CreateFeature", 3), ("DeletingDestructor", 1)],
    "push::CPushSink": [("OnRequestSent", 1), ("Reserved1", 1), ("OnAnswer", 1), ("OnPush", 1),
                        ("DeletingDestructor", 1)],
    "push::CJobListener": [("OnJobEvent", 1), ("DeletingDestructor", 1)],
    "push::CPushRegGinaExtend": [("GetSelf", 0), ("GetEntry", 0), ("SetEntry", 1), ("Destroy", 0),
                                 ("OnLoginEvent", 1), ("Reserved1", 2), ("DeletingDestructor", 1),
                                 ("GetClassRecord", 0)],
    "push::CPushProvider": [("DeletingDestructor", 1), ("GetServiceInterface", 0), ("GetClassRecord", 0)],
    "push::CPushService": [("GetServiceObject", 0), ("GetEntry", 0), ("SetEntry", 1), ("Destroy", 0),
                           ("GetInterface", 1), ("RefreshModules", 0)] + R(1, 0) + R(2, 0)
                          + sum((R(n, 1) for n in range(3, 10)), []) + [("OnTick", 1)]
                          + sum((R(n, 1) for n in range(10, 17)), []) + R(17, 2)
                          + [("OnPushData", 5), ("AddSubscriber", 1), ("AddNotifyWindow", 2),
                             ("RemoveSubscriber", 1), ("RemoveNotifyWindow", 1)],
    "ui::CListNoteRender": [("GetSelf", 0), ("GetEntry", 0), ("SetEntry", 1), ("Destroy", 0),
                            ("GetButtons", 2), ("GetButtonText", 3), ("Create", 2), ("Reserved1", 1),
                            ("Reserved2", 1), ("OnCloseButton", 1), ("Reserved3", 2), ("OnNoteUpdate", 1),
                            ("GetStatusText", 1), ("DeletingDestructor", 1)],
    # The plug-in's own document over a host profile has the host's table.
    "addin::CXmlProfileAdapter": PROFILE,
}

# Symbols: functions by address, tables by class.
nm = subprocess.run(["i686-w64-mingw32-nm", dll], capture_output=True, text=True, check=True).stdout
raw = {}
for line in nm.splitlines():
    parts = line.split()
    if len(parts) == 3 and parts[2].startswith("__Z"):
        raw.setdefault(parts[2][1:], int(parts[0], 16))
names = list(raw)
demangled = subprocess.run(["c++filt"], input="\n".join(names), capture_output=True, text=True).stdout.splitlines()
functions, tables, records = {}, {}, {}
for name, pretty in zip(names, demangled):
    if pretty.startswith("vtable for "):
        tables[pretty[len("vtable for "):]] = raw[name]
    elif pretty in RECORDS:
        records[pretty] = raw[name]
    elif "(" in pretty:
        functions.setdefault(raw[name], []).append(pretty)
starts = sorted(functions)

# The image: sections to read the tables from.
data = open(dll, "rb").read()
pe = struct.unpack_from("<I", data, 0x3C)[0]
count = struct.unpack_from("<H", data, pe + 6)[0]
optional = struct.unpack_from("<H", data, pe + 20)[0]
base = struct.unpack_from("<I", data, pe + 24 + 28)[0]
sections = []
for i in range(count):
    at = pe + 24 + optional + 40 * i
    vsize, rva, rawsize, rawptr = struct.unpack_from("<IIII", data, at + 8)
    flags = struct.unpack_from("<I", data, at + 36)[0]
    sections.append((base + rva, vsize, rawptr, flags))

def word(va):
    for start, size, rawptr, _ in sections:
        if start <= va < start + size:
            return struct.unpack_from("<I", data, rawptr + va - start)[0]
    raise KeyError(hex(va))

def cstring(va):
    out = b""
    while len(out) < 256:
        w = struct.pack("<I", word(va + len(out)))
        out += w
        if b"\0" in w:
            return out[:out.index(b"\0")].decode("latin-1")
    return out.decode("latin-1")

def is_code(va):
    return any(start <= va < start + size and flags & 0x20000000 for start, size, _, flags in sections)

def method(pretty):
    head = pretty[:pretty.index("(")]
    return head.rsplit("::", 1)[-1]

def disassemble(va):
    nxt = next((s for s in starts if s > va), va + 4096)
    out = subprocess.run(["i686-w64-mingw32-objdump", "-d", "--no-show-raw-insn",
                          "--start-address=%#x" % va, "--stop-address=%#x" % nxt, dll],
                         capture_output=True, text=True, check=True).stdout
    return [l.split("\t", 1)[1].strip() for l in out.splitlines() if re.match(r"^\s*[0-9a-f]+:\t", l)]

def convention(va, args, seen=()):
    """'' when the callee behaves as thiscall with `args` stack arguments."""
    body = disassemble(va)
    if not body:
        return "no code"
    pops = 4 * args
    rets = [i for i in body if i.startswith("ret")]
    for i in rets:
        n = int(i.split("$")[1], 16) if "$" in i else 0
        if n != pops:
            return "'%s' where thiscall with %d stack argument(s) returns with ret %s" % (i, args, pops or "")
    if not rets:
        # A tail call through a table (a forwarding operation): the callee,
        # another member function of the same kind, pops the arguments.
        if any(re.match(r"jmp\s+\*", i) for i in body):
            return ""
        # A tail call: the function it jumps to must behave the same.
        jump = next((i for i in body if i.startswith("jmp") and re.search(r"\s([0-9a-f]+) <", i)), None)
        if not jump:
            return "no return found"
        target = int(re.search(r"\s([0-9a-f]+) <", jump).group(1), 16)
        if target in seen:
            return ""
        return convention(target, args, seen + (va,))
    # The object comes in ECX: without stack arguments the slot above the
    # return address is the caller's, never read.
    first = body[0]
    if args == 0 and re.search(r"\b0x4\(%esp\)", first):
        return "reads its first argument from the stack: %s" % first
    return ""

passed = failed = 0
def check(ok, what, detail=""):
    global passed, failed
    if ok:
        passed += 1
        print("ok - " + what)
    else:
        failed += 1
        print("not ok - " + what + (" (" + detail + ")" if detail else ""))

for cls, slots in TABLES.items():
    if cls not in tables:
        check(False, "table of %s" % cls, "no symbol")
        continue
    first = tables[cls] + 8  # after the offset to the top and the type information
    for i, (name, args) in enumerate(slots):
        target = word(first + 4 * i)
        found = [method(p) for p in functions.get(target, [])]
        check(name in found, "%s slot %d is %s" % (cls, i, name), "points to %s" % (found or hex(target)))
        if name in found:
            problem = convention(target, args)
            check(not problem, "%s::%s is thiscall, popping %d byte(s)" % (cls, name, 4 * args), problem)
    after = word(first + 4 * len(slots))
    check(not is_code(after), "%s has exactly %d slots" % (cls, len(slots)),
          "slot %d points to %s" % (len(slots), functions.get(after, [hex(after)])))

# Each operation of the adapter calls the same operation of the host's
# document, through its slot in the host's table: the one call through a
# table in its body (a tail jump or a call) reads the slot's offset.
TABLE_CALL = re.compile(r"^(?:call|jmp)\s+\*(0x[0-9a-f]+)?\(%e[a-z]{2}\)$")
adapter = tables.get("addin::CXmlProfileAdapter")
for i, (name, _) in enumerate(PROFILE):
    if i == 0 or adapter is None:
        continue  # the host's destructor is never called
    offsets = [int(m.group(1) or "0", 16) for m in map(TABLE_CALL.match, disassemble(word(adapter + 8 + 4 * i))) if m]
    check(offsets == [4 * i], "the plug-in calls the host's %s at slot %d (*%#x)" % (name, i, 4 * i),
          "calls through %s" % [hex(o) for o in offsets])

for symbol, (cls, size) in RECORDS.items():
    if symbol not in records:
        check(False, "class record of %s" % cls, "no symbol")
        continue
    at = records[symbol]
    check(cstring(word(at)) == cls and word(at + 4) == size, "class record \"%s\" of %d bytes" % (cls, size),
          "\"%s\" of %d bytes" % (cstring(word(at)), word(at + 4)))

# The one export is plain C: no stack arguments, returns with a plain ret.
exports = subprocess.run(["i686-w64-mingw32-objdump", "-p", dll], capture_output=True, text=True).stdout
check(re.search(r"\]\s+Addin_GetObject\s*$", exports, re.M) is not None, "the export Addin_GetObject, undecorated")
print("%d passed, %d failed" % (passed, failed))
sys.exit(1 if failed else 0)
EOF
