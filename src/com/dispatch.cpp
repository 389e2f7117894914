#include "com/dispatch.h"

#include <memory>
#include <vector>

namespace qel::com {

bool NamesEqual(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= u'A' && x <= u'Z') x = static_cast<char16_t>(x - u'A' + u'a');
    if (y >= u'A' && y <= u'Z') y = static_cast<char16_t>(y - u'A' + u'a');
    if (x != y) return false;
  }
  return true;
}

namespace {

std::u16string_view NameOf(const OLECHAR* name) {
  return name ? std::u16string_view(name) : u"";
}

bool IsResultParam(const ParamInfo& p) {
  return p.dir == ParamDir::Retval;
}

// Picks the accessor the flags ask for among the members sharing the identifier.
const DispEntry* Select(const DispTable& table, DISPID id, uint16_t flags) {
  const DispEntry* method = nullptr;
  const DispEntry* get = nullptr;
  const DispEntry* put = nullptr;
  const DispEntry* putref = nullptr;
  bool known = false;
  for (const DispEntry& e : table.entries) {
    if (e.id != id) continue;
    known = true;
    switch (e.kind) {
      case MemberKind::Method:
        method = &e;
        break;
      case MemberKind::PropGet:
        get = &e;
        break;
      case MemberKind::PropPut:
        put = &e;
        break;
      case MemberKind::PropPutRef:
        putref = &e;
        break;
    }
  }
  if (!known) return nullptr;
  if (flags & DISPATCH_PROPERTYPUTREF) return putref ? putref : put;
  if (flags & DISPATCH_PROPERTYPUT) return put ? put : putref;
  if ((flags & DISPATCH_METHOD) && method) return method;
  if (flags & DISPATCH_PROPERTYGET) return get ? get : method;
  return nullptr;
}

void FillException(HRESULT hr, EXCEPINFO* info) {
  *info = EXCEPINFO{};
  info->scode = hr;
  ComPtr<IErrorInfo> error;
  if (GetErrorInfo(0, error.Out()) == S_OK && error) {
    error->GetSource(&info->bstrSource);
    error->GetDescription(&info->bstrDescription);
    error->GetHelpFile(&info->bstrHelpFile);
    error->GetHelpContext(&info->dwHelpContext);
    // Keep it current as well, for callers that ask the thread afterwards.
    SetErrorInfo(0, error.get());
  }
}

}  // namespace

HRESULT TableGetIDsOfNames(const DispTable& table, OLECHAR** names, uint32_t count, DISPID* ids) {
  if (!names || !ids) return E_POINTER;
  if (count == 0) return S_OK;
  for (uint32_t i = 0; i < count; ++i)
    ids[i] = DISPID_UNKNOWN;
  const DispEntry* found = nullptr;
  for (const DispEntry& e : table.entries) {
    if (NamesEqual(e.name, NameOf(names[0]))) {
      found = &e;
      if (e.kind == MemberKind::Method || e.paramCount > 1)
        break;  // prefer the one with parameters
    }
  }
  if (!found) return DISP_E_UNKNOWNNAME;
  ids[0] = found->id;
  HRESULT hr = S_OK;
  for (uint32_t i = 1; i < count; ++i) {
    for (size_t k = 0; k < found->paramCount; ++k) {
      if (NamesEqual(found->params[k].name, NameOf(names[i]))) ids[i] = static_cast<DISPID>(k);
    }
    if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

HRESULT TableInvoke(const DispTable& table, IDispatch* self, DISPID id, uint16_t flags,
                    DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo, uint32_t* argErr) {
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  if (!params) params = &none;
  if (params->cNamedArgs > params->cArgs) return E_INVALIDARG;
  if (params->cArgs > 0 && !params->rgvarg) return E_INVALIDARG;
  const DispEntry* e = Select(table, id, flags);
  if (!e) return DISP_E_MEMBERNOTFOUND;

  const size_t n = e->paramCount;
  const bool isPut = e->kind == MemberKind::PropPut || e->kind == MemberKind::PropPutRef;
  std::array<VARIANT*, kMaxParams> args{};

  // Named arguments first: DISPID_PROPERTYPUT names the value of a put.
  for (uint32_t k = 0; k < params->cNamedArgs; ++k) {
    DISPID which = params->rgdispidNamedArgs[k];
    size_t index;
    if (which == DISPID_PROPERTYPUT && isPut && n > 0) {
      index = n - 1;
    } else if (which >= 0 && static_cast<size_t>(which) < n && !IsResultParam(e->params[which])) {
      index = static_cast<size_t>(which);
    } else {
      if (argErr) *argErr = k;
      return DISP_E_PARAMNOTFOUND;
    }
    if (args[index]) return DISP_E_BADPARAMCOUNT;
    args[index] = &params->rgvarg[k];
  }

  // Positional arguments, left to right (they are stored in reverse order) into
  // the parameters not already given by name.
  const uint32_t positional = params->cArgs - params->cNamedArgs;
  size_t next = 0;
  for (uint32_t i = 0; i < positional; ++i) {
    VARIANT* v = &params->rgvarg[params->cArgs - 1 - i];
    while (next < n && (args[next] || IsResultParam(e->params[next])))
      ++next;
    if (next >= n) return DISP_E_BADPARAMCOUNT;
    // A missing optional argument is passed as VT_ERROR / DISP_E_PARAMNOTFOUND.
    if (!(v->vt == VT_ERROR && v->scode == DISP_E_PARAMNOTFOUND)) args[next] = v;
    ++next;
  }

  for (size_t i = 0; i < n; ++i) {
    if (!args[i] && e->params[i].dir == ParamDir::In) return DISP_E_PARAMNOTOPTIONAL;
  }

  Variant out;
  int badArg = -1;
  HRESULT hr = e->invoke(self, *e, args.data(), &out, &badArg);
  if (badArg >= 0 && Failed(hr)) {
    if (argErr && args[badArg]) *argErr = static_cast<uint32_t>(args[badArg] - params->rgvarg);
    return hr == DISP_E_OVERFLOW ? DISP_E_OVERFLOW : DISP_E_TYPEMISMATCH;
  }
  if (Failed(hr)) {
    if (excepInfo) {
      FillException(hr, excepInfo);
      return DISP_E_EXCEPTION;
    }
    return hr;
  }
  if (result) {
    VariantClear(result);
    *result = out.Detach();
  }
  return hr;
}

namespace detail {

HRESULT Coerce(const VARIANT* src, VARTYPE vt, Variant* out) {
  if (!src) return DISP_E_PARAMNOTOPTIONAL;
  if (src->vt == (VT_BYREF | VT_VARIANT) && src->pvarVal) src = src->pvarVal;
  if (vt == VT_UI4) {
    // Colours often arrive as signed 32-bit values (system colours have the top
    // bit set): keep their bits.
    Variant i4;
    if (Succeeded(VariantChangeType(&i4, src, 0, VT_I4))) {
      out->vt = VT_UI4;
      out->ulVal = static_cast<uint32_t>(i4.lVal);
      return S_OK;
    }
  }
  return VariantChangeType(out, src, 0, vt);
}

HRESULT CoerceArray(const VARIANT* src, VARTYPE elementVt, SafeArray* owned, SAFEARRAY** out) {
  *out = nullptr;
  if (src->vt == (VT_BYREF | VT_VARIANT) && src->pvarVal) src = src->pvarVal;
  if (src->vt == VT_EMPTY || src->vt == VT_NULL) return S_OK;
  if (!(src->vt & VT_ARRAY)) return DISP_E_TYPEMISMATCH;
  SAFEARRAY* a = (src->vt & VT_BYREF) ? *src->pparray : src->parray;
  if (!a) return S_OK;
  VARTYPE have = VT_EMPTY;
  SafeArrayGetVartype(a, &have);
  if (have == elementVt || elementVt == VT_EMPTY) {
    *out = a;
    return S_OK;
  }
  // Convert element by element into an array of the declared type, same bounds.
  SAFEARRAYBOUND bounds[64];
  for (uint32_t d = 0; d < a->cDims; ++d)
    bounds[d] = a->rgsabound[a->cDims - 1 - d];
  SafeArray converted(SafeArrayCreate(elementVt, a->cDims, bounds));
  if (!converted.get()) return DISP_E_TYPEMISMATCH;
  uint64_t count = SafeArrayElementCount(a);
  for (uint64_t i = 0; i < count; ++i) {
    // A borrowed view of the element: the conversion copies, the source stays owned by a.
    VARIANT element;
    VariantInit(&element);
    const char* p = static_cast<const char*>(a->pvData) + i * a->cbElements;
    if (have == VT_VARIANT) {
      element = *reinterpret_cast<const VARIANT*>(p);
    } else {
      element.vt = have;
      std::memcpy(&element.llVal, p, a->cbElements);
    }
    Variant converted1;
    HRESULT hr = VariantChangeType(&converted1, &element, 0, elementVt);
    if (Failed(hr)) return hr;
    char* q = static_cast<char*>(converted.get()->pvData) + i * converted.get()->cbElements;
    if (elementVt == VT_VARIANT) {
      *reinterpret_cast<VARIANT*>(q) = converted1.Detach();
    } else {
      VARIANT raw = converted1.Detach();
      std::memcpy(q, &raw.llVal, converted.get()->cbElements);
    }
  }
  *owned = std::move(converted);
  *out = owned->get();
  return S_OK;
}

HRESULT DeliverOut(Variant&& value, VARIANT* byrefArg, VARIANT* result) {
  if (byrefArg && (byrefArg->vt & VT_BYREF)) {
    VARTYPE target = byrefArg->vt & ~VT_BYREF;
    if (target == VT_VARIANT) {
      VariantClear(byrefArg->pvarVal);
      *byrefArg->pvarVal = value.Detach();
      return S_OK;
    }
    if (target & VT_ARRAY) {
      if (!(value.vt & VT_ARRAY)) return DISP_E_TYPEMISMATCH;
      SafeArrayDestroy(*byrefArg->pparray);
      *byrefArg->pparray = value.Detach().parray;
      return S_OK;
    }
    Variant converted;
    HRESULT hr = VariantChangeType(&converted, &value, 0, target);
    if (Failed(hr)) return hr;
    switch (target) {
      case VT_BSTR:
        SysFreeString(*byrefArg->pbstrVal);
        *byrefArg->pbstrVal = converted.Detach().bstrVal;
        return S_OK;
      case VT_UNKNOWN:
      case VT_DISPATCH:
        if (*byrefArg->ppunkVal) (*byrefArg->ppunkVal)->Release();
        *byrefArg->ppunkVal = converted.Detach().punkVal;
        return S_OK;
      case VT_I1:
      case VT_UI1:
        std::memcpy(byrefArg->byref, &converted.llVal, 1);
        return S_OK;
      case VT_I2:
      case VT_UI2:
      case VT_BOOL:
        std::memcpy(byrefArg->byref, &converted.llVal, 2);
        return S_OK;
      case VT_I4:
      case VT_UI4:
      case VT_INT:
      case VT_UINT:
      case VT_R4:
      case VT_ERROR:
        std::memcpy(byrefArg->byref, &converted.llVal, 4);
        return S_OK;
      case VT_I8:
      case VT_UI8:
      case VT_R8:
      case VT_DATE:
        std::memcpy(byrefArg->byref, &converted.llVal, 8);
        return S_OK;
      default:
        return DISP_E_TYPEMISMATCH;
    }
  }
  if (result) {
    VariantClear(result);
    *result = value.Detach();
  }
  return S_OK;
}

}  // namespace detail

// ---- type information over a table -----------------------------------------

namespace {

struct FuncDescBlock {
  FUNCDESC desc{};
  std::vector<ELEMDESC> params;
};

class TableTypeInfoObject final : public ComObject<TableTypeInfoObject, ITypeInfo> {
 public:
  explicit TableTypeInfoObject(const DispTable& table) : table_(table) {}

  HRESULT GetTypeAttr(TYPEATTR** attr) override {
    if (!attr) return E_POINTER;
    auto a = std::make_unique<TYPEATTR>();
    a->guid = table_.iid;
    a->lcid = 0;
    a->memidConstructor = DISPID_UNKNOWN;
    a->memidDestructor = DISPID_UNKNOWN;
    a->typekind = TKIND_DISPATCH;
    a->cFuncs = static_cast<uint16_t>(table_.entries.size());
    a->cbSizeVft = static_cast<uint16_t>((7 + table_.entries.size()) * sizeof(void*));
    a->cbAlignment = alignof(void*);
    a->wMajorVerNum = 1;
    *attr = a.release();
    return S_OK;
  }
  HRESULT GetFuncDesc(uint32_t index, FUNCDESC** desc) override {
    if (!desc) return E_POINTER;
    if (index >= table_.entries.size()) return TYPE_E_ELEMENTNOTFOUND;
    const DispEntry& e = table_.entries[index];
    auto block = std::make_unique<FuncDescBlock>();
    FUNCDESC& d = block->desc;
    d.memid = e.id;
    d.funckind = FUNC_DISPATCH;
    d.invkind = static_cast<INVOKEKIND>(e.kind);
    d.oVft = static_cast<int16_t>(e.slot * static_cast<int>(sizeof(void*)));
    d.elemdescFunc.tdesc.vt = VT_VOID;
    for (const ParamInfo& p : e.Params()) {
      ELEMDESC el{};
      el.tdesc.vt = p.vt;
      if (p.dir == ParamDir::Retval) {
        d.elemdescFunc = el;
        continue;
      }
      el.paramdesc.wParamFlags = p.dir == ParamDir::In    ? PARAMFLAG_FIN
                                 : p.dir == ParamDir::Out ? PARAMFLAG_FOUT
                                                          : PARAMFLAG_FIN | PARAMFLAG_FOUT;
      block->params.push_back(el);
    }
    d.cParams = static_cast<int16_t>(block->params.size());
    d.lprgelemdescParam = block->params.empty() ? nullptr : block->params.data();
    // The block is handed out whole; ReleaseFuncDesc takes it back.
    static_assert(offsetof(FuncDescBlock, desc) == 0);
    *desc = &block.release()->desc;
    return S_OK;
  }
  HRESULT GetNames(DISPID id, BSTR* names, uint32_t maxNames, uint32_t* count) override {
    if (!names || !count) return E_POINTER;
    *count = 0;
    const DispEntry* e = nullptr;
    for (const DispEntry& entry : table_.entries)
      if (entry.id == id && (!e || entry.kind == MemberKind::Method)) e = &entry;
    if (!e) return TYPE_E_ELEMENTNOTFOUND;
    if (maxNames == 0) return S_OK;
    names[(*count)++] = SysAllocString(e->name);
    for (const ParamInfo& p : e->Params()) {
      if (*count >= maxNames) break;
      if (p.dir == ParamDir::Retval) continue;
      names[(*count)++] = SysAllocString(p.name);
    }
    return S_OK;
  }
  HRESULT GetIDsOfNames(OLECHAR** names, uint32_t count, DISPID* ids) override {
    return TableGetIDsOfNames(table_, names, count, ids);
  }
  HRESULT GetDocumentation(DISPID id, BSTR* name, BSTR* doc, uint32_t* helpContext,
                           BSTR* helpFile) override {
    const char16_t* found = nullptr;
    if (id == DISPID_UNKNOWN) {
      found = table_.name;
    } else {
      for (const DispEntry& e : table_.entries)
        if (e.id == id) found = e.name;
    }
    if (!found) return TYPE_E_ELEMENTNOTFOUND;
    if (name) *name = SysAllocString(found);
    if (doc) *doc = nullptr;
    if (helpContext) *helpContext = 0;
    if (helpFile) *helpFile = nullptr;
    return S_OK;
  }
  void ReleaseTypeAttr(TYPEATTR* attr) override { std::unique_ptr<TYPEATTR> owned(attr); }
  void ReleaseFuncDesc(FUNCDESC* desc) override {
    std::unique_ptr<FuncDescBlock> owned(reinterpret_cast<FuncDescBlock*>(desc));
  }

 private:
  const DispTable& table_;
};

}  // namespace

HRESULT TableTypeInfo(const DispTable& table, ITypeInfo** info) {
  if (!info) return E_POINTER;
  auto obj = TableTypeInfoObject::Create(table);
  if (!obj) return E_OUTOFMEMORY;
  *info = obj.Detach();
  return S_OK;
}

}  // namespace qel::com
