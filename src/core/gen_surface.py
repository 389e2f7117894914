#!/usr/bin/env python3
"""Generates the interface headers, dispatch tables, default (not implemented)
members, event helpers and class descriptions from surface.txt.

usage: gen_surface.py SURFACE OUTDIR PACKAGE STEM
       gen_surface.py --python-stub SURFACE MODULE_PART OUT.pyi

The first writes OUTDIR/PACKAGE/STEM.h, STEM_tables.cpp, STEM_defaults.h and
STEM_events.h; the registration helpers are named after STEM
(RegisterSurfaceInterfaces, SurfaceTables, kSurfaceClasses for "surface").

The second writes the typed stub of the Python client: MODULE_PART (the stub of
what the module itself defines: DispatchObject, connect, ComError...)
followed by every interface as a class, the classes, the events as a Protocol
of handler methods and Dispatch overloads by ProgID and class identifier.
"""
import re
import sys
from pathlib import Path

# type name in the table -> (C++ type, VARTYPE expression)
SCALARS = {
    "long": ("int32_t", "com::VT_I4"),
    "int": ("int32_t", "com::VT_I4"),
    "short": ("int16_t", "com::VT_I2"),
    "LONGLONG": ("int64_t", "com::VT_I8"),
    "double": ("double", "com::VT_R8"),
    "VARIANT_BOOL": ("com::VARIANT_BOOL", "com::VT_BOOL"),
    "OLE_COLOR": ("com::OLE_COLOR", "com::VT_UI4"),
    "BSTR": ("com::BSTR", "com::VT_BSTR"),
    "VARIANT": ("com::VARIANT", "com::VT_VARIANT"),
    "IUnknown": ("com::IUnknown", "com::VT_UNKNOWN"),
    "BYTE": ("uint8_t", "com::VT_UI1"),
    "tagRECT": ("com::tagRECT", "com::VT_USERDEFINED"),
}
ARRAY_ELEMENTS = {"long": "com::VT_I4", "int": "com::VT_INT", "double": "com::VT_R8"}


class Config:
    package = "core"
    stem = "surface"

    @classmethod
    def camel(cls):
        return "".join(part.capitalize() for part in cls.stem.split("_"))

    @classmethod
    def include(cls, suffix=""):
        return f'"{cls.package}/{cls.stem}{suffix}.h"'


class Param:
    def __init__(self, cpp, vt, name, direction, surface_type=None):
        self.cpp, self.vt, self.name, self.dir = cpp, vt, name, direction
        self.surface_type = surface_type  # the type as the table spells it


def parse_type(text, interfaces):
    """'SAFEARRAY(double)*' / 'IEditorScale*' / 'long' -> (cpp, vt, pointer depth)."""
    text = text.strip()
    m = re.fullmatch(r"SAFEARRAY\((\w+)\)(\**)", text)
    if m:
        stars = len(m.group(2))
        return "com::SAFEARRAY*" + "*" * stars, "com::VT_ARRAY | " + ARRAY_ELEMENTS[m.group(1)], stars
    m = re.fullmatch(r"(\w+)(\**)", text)
    if not m:
        raise SystemExit(f"unreadable type {text!r}")
    base, stars = m.group(1), len(m.group(2))
    if base in SCALARS:
        cpp, vt = SCALARS[base]
    elif base in interfaces or base == "IFontDisp":
        cpp, vt = base, "com::VT_DISPATCH"
    else:
        raise SystemExit(f"unknown type {base!r}")
    if cpp in ("com::IUnknown", "IFontDisp") or base in interfaces:
        # Interfaces travel as pointers: one star is the value itself.
        return cpp + "*" * stars, vt, stars - 1
    return cpp + "*" * stars, vt, stars


def parse_param(text, interfaces):
    flags = ""
    m = re.fullmatch(r"(.*?)\s*\[([a-z,]+)\]", text.strip())
    if m:
        text, flags = m.group(1), m.group(2)
    ty, name = text.rsplit(None, 1)
    cpp, vt, depth = parse_type(ty, interfaces)
    if "retval" in flags:
        direction = "Retval"
    elif flags == "out":
        direction = "Out"
    elif flags == "in,out":
        direction = "InOut"
    elif depth > 0 and not cpp.startswith("com::SAFEARRAY"):
        direction = "InOut"  # a plain pointer argument: read and written in place
    else:
        direction = "In"
    if depth > 0 and not cpp.startswith("com::SAFEARRAY"):
        vt = vt + " | com::VT_BYREF"
    return Param(cpp, vt, name, direction, ty.strip())


class Accessor:
    def __init__(self, dispid, name, kind, cpp_name, params, value_type=None):
        self.dispid, self.name, self.kind, self.cpp_name, self.params = dispid, name, kind, cpp_name, params
        self.value_type = value_type  # a property's value type as the table spells it


def parse(path):
    lib, appid, interfaces, classes = None, None, {}, []
    prefix = None
    order = []
    current = None
    lines = Path(path).read_text().splitlines()
    names = set()
    for line in lines:
        m = re.match(r"interface (\w+) ", line)
        if m:
            names.add(m.group(1))
    for line in lines:
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        if line.startswith("library "):
            m = re.fullmatch(r'library (\w+) (\{[0-9A-F-]+\}) ([\d.]+) "(.*)"', line)
            lib = m.groups()
            continue
        if line.startswith("progid-prefix "):
            prefix = line.split()[1]
            continue
        if line.startswith("appid "):
            m = re.fullmatch(r'appid (\{[0-9A-F-]+\}) "(.*)"', line)
            appid = m.groups()
            continue
        if line.startswith("interface "):
            parts = line.split()
            current = {"name": parts[1], "iid": parts[2], "outgoing": "outgoing" in parts, "members": [],
                       "storage": None, "stored": {}}
            interfaces[parts[1]] = current
            order.append(parts[1])
            continue
        if line.startswith("class "):
            m = re.fullmatch(r'class (\w+) (\{[0-9A-F-]+\}) (\w+)((?: \S+)*?) "(.*)"', line)
            name, clsid, iface, opts, desc = m.groups()
            opts = opts.split()
            source = next((o.split("=")[1] for o in opts if o.startswith("source=")), None)
            progid = next((o.split("=")[1] for o in opts if o.startswith("progid=")), None)
            classes.append({"name": name, "clsid": clsid, "iface": iface, "source": source,
                            "control": "control" in opts, "desc": desc, "progid": progid})
            continue
        if line.strip().startswith("stored-in "):
            # stored-in TYPE "HEADER": the interface's plain-storage properties
            # live in a TYPE that the implementing class hands out.
            m = re.fullmatch(r'\s*stored-in (\S+) "(.+)"', line)
            current["storage"] = m.groups()
            continue
        columns = [x.strip() for x in line.split("|")]
        dispid, member, kind, rest = columns[:4]
        if len(columns) > 4:
            # "stored FIELD" keeps the value as given; "stored flag FIELD" keeps a
            # bool that reads back as 0 or 1.
            words = columns[4].split()
            current["stored"][member] = (words[-1], words[1] == "flag" if len(words) == 3 else False)
        current["members"].append((None if dispid == "-" else int(dispid), member, kind, rest))

    for iface in interfaces.values():
        accessors = []
        for dispid, member, kind, rest in iface["members"]:
            if kind == "vtable":
                # A vtable slot with no dispatch identifier: early binding only.
                params = [] if rest in ("—", "") else [parse_param(p, names) for p in rest.split(",")]
                accessors.append(Accessor(None, member, "VtableOnly", member, params))
                continue
            if kind == "method":
                # Split on the commas between parameters, not those inside "[out,retval]".
                params = []
                if rest not in ("—", ""):
                    for p in re.split(r",(?![^\[]*\])", rest):
                        params.append(parse_param(p, names))
                accessors.append(Accessor(dispid, member, "Method", member, params))
                continue
            m = re.fullmatch(r"property \(([a-z/]+)\)", kind)
            which = m.group(1).split("/")
            value, _, index = rest.partition(";")
            index_params = []
            if index.strip():
                im = re.fullmatch(r"indexed by (.+)", index.strip())
                index_params = [parse_param(im.group(1), names)]
            cpp, vt, depth = parse_type(value, names)
            for acc in which:
                if acc == "get":
                    is_array = cpp.startswith("com::SAFEARRAY")
                    out = Param(cpp + "*", vt if is_array else vt + " | com::VT_BYREF", "pVal", "Retval")
                    accessors.append(Accessor(dispid, member, "PropGet", "get_" + member,
                                              index_params + [out], value.strip()))
                else:
                    kind_name = "PropPut" if acc == "put" else "PropPutRef"
                    accessors.append(Accessor(dispid, member, kind_name, acc + "_" + member,
                                              index_params + [Param(cpp, vt, "newVal", "In")],
                                              value.strip()))
        iface["accessors"] = accessors
    if prefix is None:
        prefix = lib[0][:-3] if lib[0].endswith("Lib") else lib[0]
    for c in classes:
        c["progid"] = c["progid"] or f"{prefix}.{c['name']}"
    return lib, appid, [interfaces[n] for n in order], classes


def plain(name):
    """'_IAudioEditorEvents' -> 'AudioEditorEvents'."""
    name = name.lstrip("_")
    return name[1:] if len(name) > 1 and name[0] == "I" and name[1].isupper() else name


def cpp_params(params):
    return ", ".join(f"{p.cpp} {p.name}" for p in params)


def header(lib, appid, interfaces, classes):
    out = []
    w = out.append
    w("// Generated by gen_surface.py. Do not edit.")
    w("#pragma once\n")
    w("#include <span>\n")
    w('#include "com/dispatch.h"\n')
    w("namespace qel {\n")
    if Config.package == "core":
        w("struct IFontDisp;")
    for i in interfaces:
        if not i["outgoing"]:
            w(f"struct {i['name']};")
    w("")
    w(f'inline constexpr com::GUID LIBID_{lib[0]} = com::MakeGuid("{lib[1]}");')
    if appid:
        w(f'inline constexpr com::GUID APPID_{lib[0]} = com::MakeGuid("{appid[0]}");')
    for c in classes:
        w(f'inline constexpr com::CLSID CLSID_{c["name"]} = com::MakeGuid("{c["clsid"]}");')
    for i in interfaces:
        w(f'inline constexpr com::IID IID_{i["name"]} = com::MakeGuid("{i["iid"]}");')
    w("")
    if Config.package == "core":
        w("// The standard font dispatch interface (properties through IDispatch only).")
        w("struct IFontDisp : com::IDispatch {")
        w("  using Base = com::IDispatch;")
        w('  static constexpr com::IID kIID = com::MakeGuid("{BEF6E003-A874-101A-8BBA-00AA00300CAB}");')
        w(" protected:\n  ~IFontDisp() = default;\n};\n")
    for i in interfaces:
        if i["outgoing"]:
            continue
        w(f"struct {i['name']} : com::IDispatch {{")
        w("  using Base = com::IDispatch;")
        w(f"  static constexpr com::IID kIID = IID_{i['name']};")
        w("  static const com::DispTable& DispatchTable();")
        for a in i["accessors"]:
            w(f"  virtual com::HRESULT {a.cpp_name}({cpp_params(a.params)}) = 0;")
        w(f" protected:\n  ~{i['name']}() = default;\n}};\n")
    # events
    for i in interfaces:
        if not i["outgoing"]:
            continue
        w(f"// Dispatch identifiers of {i['name']}.")
        w(f"enum class {plain(i['name'])}Id : com::DISPID {{")
        for a in i["accessors"]:
            w(f"  {a.name} = {a.dispid},")
        w("};\n")
        w(f"// The dispatch description of {i['name']}, for sinks and clients.")
        w(f"const com::DispTable& {plain(i['name'])}Table();\n")
    camel = Config.camel()
    w("// Every interface table, and their registration with the class table.")
    w(f"std::span<const com::DispTable* const> {camel}Tables();")
    w(f"void Register{camel}Interfaces();\n")
    w(f"inline constexpr const char* k{camel}LibraryName = \"{lib[0]}\";")
    w(f"inline constexpr const char* k{camel}LibraryHelp = \"{lib[3]}\";")
    w(f"inline constexpr const char* k{camel}LibraryVersion = \"{lib[2]}\";")
    if appid:
        w(f"inline constexpr const char* k{camel}AppIdName = \"{appid[1]}\";")
    w(f"inline constexpr com::ClassDescription k{camel}Classes[] = {{")
    for c in classes:
        src = f"IID_{c['source']}" if c["source"] else "com::GUID_NULL"
        w(f'    {{CLSID_{c["name"]}, "{c["name"]}", "{c["desc"]}", IID_{c["iface"]}, {src}, '
          f'{"true" if c["control"] else "false"}, "{c["progid"]}.1", "{c["progid"]}"}},')
    w("};\n")
    w("}  // namespace qel")
    return "\n".join(out) + "\n"


def param_info(p):
    return f'{{u"{p.name}", {p.vt}, com::ParamDir::{p.dir}}}'


def tables(interfaces):
    out = []
    w = out.append
    w("// Generated by gen_surface.py. Do not edit.")
    w(f"#include {Config.include()}\n")
    w('#include "com/classtable.h"\n')
    w("namespace qel {\n")
    w("namespace {\n")
    for i in interfaces:
        n = i["name"]
        w(f"const com::DispEntry k{n}Entries[] = {{")
        for slot, a in enumerate(i["accessors"]):
            if a.kind == "VtableOnly":
                continue
            params = ", ".join(param_info(p) for p in a.params)
            if i["outgoing"]:
                invoke, abi, slot_no = "nullptr", "nullptr", -1
            else:
                invoke = f"&com::InvokeMember<&{n}::{a.cpp_name}>"
                abi = f"&com::AbiSlot<&{n}::{a.cpp_name}>"
                slot_no = 7 + slot
            w(f'    {{{a.dispid}, u"{a.name}", com::MemberKind::{a.kind}, {slot_no}, {len(a.params)}, '
              f"{{{{{params}}}}}, {invoke}, {abi}}},")
        w("};")
        outgoing = "true" if i["outgoing"] else "false"
        w(f'const com::DispTable k{n}Table{{IID_{n}, u"{n}", k{n}Entries, {outgoing}}};\n')
    w("}  // namespace\n")
    for i in interfaces:
        n = i["name"]
        if i["outgoing"]:
            w(f"const com::DispTable& {plain(n)}Table() {{ return k{n}Table; }}")
        else:
            w(f"const com::DispTable& {n}::DispatchTable() {{ return k{n}Table; }}")
    camel = Config.camel()
    w(f"\nstd::span<const com::DispTable* const> {camel}Tables() {{")
    w("  static const com::DispTable* const kTables[] = {")
    for i in interfaces:
        w(f"      &k{i['name']}Table,")
    w("  };")
    w("  return kTables;")
    w("}\n")
    w(f"void Register{camel}Interfaces() {{")
    w(f"  for (const com::DispTable* table : {camel}Tables()) com::ClassTable::Instance().RegisterInterface(*table);")
    w("}\n")
    w("}  // namespace qel")
    return "\n".join(out) + "\n"


def defaults(interfaces, classes, lib_name):
    progid_of = {c["iface"]: c["progid"] + ".1" for c in classes}
    out = []
    w = out.append
    w("// Generated by gen_surface.py. Do not edit.")
    w("// For each interface, a base whose every member answers E_NOTIMPL with error")
    w("// information; a class overrides the members it implements.")
    w("#pragma once\n")
    w(f"#include {Config.include()}")
    w('#include "com/errorinfo.h"')
    for header in sorted({i["storage"][1] for i in interfaces if i.get("storage")}):
        w(f'#include "{header}"')
    w("")
    w("namespace qel {\n")
    for i in interfaces:
        if i["outgoing"]:
            continue
        n = i["name"]
        storage = i.get("storage")
        w(f"struct {n}Defaults : {n} {{")
        if storage:
            w(f"  // Where the plain-storage properties live.")
            w(f"  virtual {storage[0]}& Stored() = 0;")
        w(f"  static com::HRESULT NotImplemented() {{")
        w(f'    return com::SetError(com::E_NOTIMPL, IID_{n}, u"{progid_of.get(n, lib_name)}",')
        w(f'                         u"Not implemented.");')
        w("  }")
        for a in i["accessors"]:
            stored = i.get("stored", {}).get(a.name)
            if stored and a.kind == "PropGet":
                field, flag = stored
                value = f"Stored().{field} ? 1 : 0" if flag else f"Stored().{field}"
                w(f"  com::HRESULT {a.cpp_name}({a.params[0].cpp} value) override {{")
                w(f"    if (!value) return com::E_POINTER;")
                w(f"    *value = {value};")
                w(f"    return com::S_OK;")
                w(f"  }}")
                continue
            if stored and a.kind == "PropPut":
                field, flag = stored
                value = "value != 0" if flag else "value"
                w(f"  com::HRESULT {a.cpp_name}({a.params[0].cpp} value) override {{")
                w(f"    Stored().{field} = {value};")
                w(f"    return com::S_OK;")
                w(f"  }}")
                continue
            unnamed = ", ".join(p.cpp for p in a.params)
            w(f"  com::HRESULT {a.cpp_name}({unnamed}) override {{ return NotImplemented(); }}")
        w(" protected:")
        w(f"  ~{n}Defaults() = default;")
        w("};\n")
    w("}  // namespace qel")
    return "\n".join(out) + "\n"


def events(interfaces):
    out = []
    w = out.append
    w("// Generated by gen_surface.py. Do not edit.")
    w("// Typed senders for the outgoing interfaces: each event becomes one call that")
    w("// builds the argument variants and delivers them to every connected sink.")
    w("#pragma once\n")
    w('#include "com/connection.h"')
    w(f"#include {Config.include()}\n")
    w("namespace qel {\n")
    for i in interfaces:
        if not i["outgoing"]:
            continue
        cls = plain(i["name"]) + "Sender"
        w(f"class {cls} {{")
        w(" public:")
        w(f"  explicit {cls}(com::EventSource& source) : source_(source) {{}}")
        for a in i["accessors"]:
            w(f"  void {a.name}({cpp_params(a.params)}) {{")
            if not a.params:
                w(f"    source_.Fire({a.dispid}, {{}});")
            else:
                w(f"    com::VARIANT args[{len(a.params)}];")
                w("    for (auto& a : args) com::VariantInit(&a);")
                for k, p in enumerate(a.params):
                    if p.cpp == "int32_t":
                        w(f"    args[{k}] = com::Variant::I4({p.name}).Detach();")
                    elif p.cpp == "com::BSTR":
                        w(f"    args[{k}] = com::Variant::Str(com::View({p.name})).Detach();")
                    elif p.cpp == "int16_t*":
                        w(f"    args[{k}].vt = com::VT_I2 | com::VT_BYREF;")
                        w(f"    args[{k}].piVal = {p.name};")
                    else:
                        raise SystemExit(f"event argument type {p.cpp} not handled")
                w(f"    source_.Fire({a.dispid}, args);")
                w("    for (auto& a : args) com::VariantClear(&a);")
            w("  }")
        w(" private:")
        w("  com::EventSource& source_;")
        w("};\n")
    w("}  // namespace qel")
    return "\n".join(out) + "\n"


# ---- the typed stub of the Python client ----------------------------------

# How the Python client hands values out (reading) and takes them in.
PY_SCALARS = {"long": "int", "int": "int", "short": "int", "LONGLONG": "int", "BYTE": "int",
              "OLE_COLOR": "int", "VARIANT_BOOL": "int", "double": "float", "VARIANT": "Any",
              "tagRECT": "Any"}
PY_ARRAY_ELEMENTS = {"long": "int", "int": "int", "double": "float"}


def py_type(text, interfaces, reading):
    """The Python type of a value the table spells as text. Booleans keep their
    integer value; a null string or array comes back as None, as the client does."""
    m = re.fullmatch(r"SAFEARRAY\((\w+)\)\**", text)
    if m:
        element = PY_ARRAY_ELEMENTS[m.group(1)]
        return f"list[{element}] | None" if reading else f"_ArrayIn[{element}]"
    base = re.fullmatch(r"(\w+)\**", text).group(1)
    if base == "BSTR":
        return "str | None" if reading else "str"
    if base in ("IUnknown", "IFontDisp"):
        return "LateBound | None" if reading else "DispatchObject | None"
    if base in interfaces:
        return base
    return PY_SCALARS[base]


def py_method(a, interfaces):
    """A method: the arguments a caller passes, and what the call returns (the
    retval or out value; a value passed in place comes back as the result too)."""
    args, results, in_place = ["self"], [], False
    for p in a.params:
        if p.dir in ("Retval", "Out"):
            results.append(py_type(p.surface_type, interfaces, True))
        elif p.dir == "InOut":
            args.append(f"{p.name}: Any")
            in_place = True
        else:
            args.append(f"{p.name}: {py_type(p.surface_type, interfaces, False)}")
    returns = results[0] if len(results) == 1 else "Any" if results or in_place else "None"
    return [f"def {a.name}({', '.join(args)}) -> {returns}: ..."]


def py_property(name, accessors, interfaces):
    get = next((a for a in accessors if a.kind == "PropGet"), None)
    writable = any(a.kind in ("PropPut", "PropPutRef") for a in accessors)
    value = (get or accessors[0]).value_type
    indexed = len((get or accessors[0]).params) > 1
    if indexed:
        return ["@property", f"def {name}(self) -> IndexedProperty[{py_type(value, interfaces, True)}]: ..."]
    if get and not writable:
        return ["@property", f"def {name}(self) -> {py_type(value, interfaces, True)}: ..."]
    if get:
        return [f"{name}: {py_type(value, interfaces, True)}"]
    return [f"{name}: {py_type(value, interfaces, False)}  # write-only"]


def py_members(iface, names):
    """The members of an interface in table order, each once."""
    grouped = {}
    for a in iface["accessors"]:
        if a.kind != "VtableOnly":
            grouped.setdefault(a.name, []).append(a)
    lines = []
    for name, accessors in grouped.items():
        if accessors[0].kind == "Method":
            lines += py_method(accessors[0], names)
        else:
            lines += py_property(name, accessors, names)
    return lines


def python_stub(interfaces, classes, module_part):
    names = {i["name"] for i in interfaces}
    out = ["# Generated by gen_surface.py. Do not edit.", module_part.rstrip(), ""]
    w = out.append
    w("# ---- the automation surface ----")
    for i in interfaces:
        if i["outgoing"]:
            continue
        w("\n@type_check_only")
        w(f"class {i['name']}(DispatchObject):")
        out.extend("    " + line for line in py_members(i, names))
    for c in classes:
        w("\n@type_check_only")
        w(f"class {c['name']}({c['iface']}):")
        events = f" Its events: {plain(c['source'])}." if c["source"] else ""
        w(f'    """{c["desc"]} ({c["progid"]}).{events}"""')
    for i in interfaces:
        if not i["outgoing"]:
            continue
        w("\n@type_check_only")
        w(f"class {plain(i['name'])}(Protocol):")
        w('    """The handler methods connect() calls; a handler defines those it wants.')
        w('    An argument passed by reference arrives as a Ref (or the handler returns')
        w('    its new value)."""')
        for a in i["accessors"]:
            args, returns = ["self"], "object"
            for p in a.params:
                if p.dir == "Out":
                    args.append(f"{p.name}: Ref")
                    returns = f"{py_type(p.surface_type, names, True)} | None"
                else:
                    args.append(f"{p.name}: {py_type(p.surface_type, names, True)}")
            w(f"    def On{a.name}({', '.join(args + ['/'])}) -> {returns}: ...")
    for c in classes:
        w("\n@overload")
        spellings = ", ".join(f'"{s}"' for s in (c["progid"], c["progid"] + ".1", "{" + c["clsid"][1:-1] + "}"))
        w(f"def Dispatch(progid_or_clsid: Literal[{spellings}]) -> {c['name']}: ...")
    w("\n@overload")
    w("def Dispatch(progid_or_clsid: str) -> Any: ...")
    return "\n".join(out) + "\n"


def main():
    if sys.argv[1] == "--python-stub":
        src, module_part, target = sys.argv[2], Path(sys.argv[3]), Path(sys.argv[4])
        _, _, interfaces, classes = parse(src)
        text = python_stub(interfaces, classes, module_part.read_text())
        if not target.exists() or target.read_text() != text:
            target.parent.mkdir(parents=True, exist_ok=True)
            target.write_text(text)
        return
    src, outdir = sys.argv[1], Path(sys.argv[2])
    Config.package, Config.stem = sys.argv[3], sys.argv[4]
    lib, appid, interfaces, classes = parse(src)
    (outdir / Config.package).mkdir(parents=True, exist_ok=True)
    stem = Config.stem
    files = {
        f"{stem}.h": header(lib, appid, interfaces, classes),
        f"{stem}_tables.cpp": tables(interfaces),
        f"{stem}_defaults.h": defaults(interfaces, classes, lib[0]),
        f"{stem}_events.h": events(interfaces),
    }
    for name, text in files.items():
        path = outdir / Config.package / name
        if not path.exists() or path.read_text() != text:
            path.write_text(text)


if __name__ == "__main__":
    main()
