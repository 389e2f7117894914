#include "com/classtable.h"

#include <algorithm>
#include <cctype>

namespace qel::com {

namespace {

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

ClassTable& ClassTable::Instance() {
  static ClassTable table;
  return table;
}

void ClassTable::Register(ClassInfo info) {
  std::lock_guard lock(mutex_);
  for (ClassInfo& c : classes_) {
    if (c.clsid == info.clsid) {
      c = std::move(info);
      return;
    }
  }
  classes_.push_back(std::move(info));
}

void ClassTable::Unregister(REFCLSID clsid) {
  std::lock_guard lock(mutex_);
  std::erase_if(classes_, [&](const ClassInfo& c) { return c.clsid == clsid; });
}

std::optional<ClassInfo> ClassTable::Find(REFCLSID clsid) const {
  std::lock_guard lock(mutex_);
  for (const ClassInfo& c : classes_)
    if (c.clsid == clsid) return c;
  return std::nullopt;
}

std::optional<CLSID> ClassTable::FromProgId(std::string_view progId) const {
  std::lock_guard lock(mutex_);
  for (const ClassInfo& c : classes_)
    if (SameText(c.progId, progId) || SameText(c.versionIndependentProgId, progId)) return c.clsid;
  return std::nullopt;
}

std::vector<ClassInfo> ClassTable::All() const {
  std::lock_guard lock(mutex_);
  return classes_;
}

void ClassTable::RegisterInterface(const DispTable& table) {
  std::lock_guard lock(mutex_);
  for (const DispTable*& t : interfaces_) {
    if (t->iid == table.iid) {
      t = &table;
      return;
    }
  }
  interfaces_.push_back(&table);
}

const DispTable* ClassTable::FindInterface(REFIID iid) const {
  std::lock_guard lock(mutex_);
  for (const DispTable* t : interfaces_)
    if (t->iid == iid) return t;
  return nullptr;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, uint32_t, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  auto info = ClassTable::Instance().Find(clsid);
  if (!info) return REGDB_E_CLASSNOTREG;
  if (!info->create) return CLASS_E_CLASSNOTAVAILABLE;
  return info->create(iid, object);
}

HRESULT CLSIDFromString(const OLECHAR* text, CLSID* clsid) {
  if (!text || !clsid) return E_POINTER;
  auto g = ParseGuid(Utf16ToUtf8(text));
  if (!g) return CO_E_CLASSSTRING;
  *clsid = *g;
  return S_OK;
}

HRESULT CLSIDFromProgID(const OLECHAR* progId, CLSID* clsid) {
  if (!progId || !clsid) return E_POINTER;
  auto found = ClassTable::Instance().FromProgId(Utf16ToUtf8(progId));
  if (!found) return CO_E_CLASSSTRING;
  *clsid = *found;
  return S_OK;
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, BSTR* progId) {
  if (!progId) return E_POINTER;
  *progId = nullptr;
  auto info = ClassTable::Instance().Find(clsid);
  if (!info) return REGDB_E_CLASSNOTREG;
  *progId = Bstr::FromUtf8(info->progId).Detach();
  return S_OK;
}

HRESULT GetInterfaceTypeInfo(REFIID iid, ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  const DispTable* table = ClassTable::Instance().FindInterface(iid);
  if (!table) return TYPE_E_ELEMENTNOTFOUND;
  return TableTypeInfo(*table, info);
}

}  // namespace qel::com
