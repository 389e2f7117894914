// qelaudio: a late-bound automation client for Python. Dispatch() creates an
// object by ProgID or class identifier; attribute reads are property gets or
// bound methods, attribute writes are property puts, indexed properties take an
// index, and connect() delivers events to a handler's On<Event> methods. There is
// no per-interface code: names, kinds and parameter counts come from each
// object's type information.
#include <pybind11/functional.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <map>
#include <memory>
#include <optional>

#include "com/classtable.h"
#include "com/connection.h"
#include "core/audio_editor.h"
#include "external/wave_record.h"
#include "headless_window.h"
#include "platform/clipboard.h"
#include "platform/files.h"

namespace py = pybind11;
using namespace qel::com;
using qel::IAudioFrameData;
using qel::IDataBuffer;

namespace {

py::object g_comError;  // the exception class, created at import

[[noreturn]] void ThrowComError(HRESULT hr, const std::string& description,
                                const std::string& source) {
  uint32_t code = static_cast<uint32_t>(hr);
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08X", code);
  std::string text = description.empty() ? std::string(hex) : std::string(hex) + " " + description;
  py::object err = g_comError(text);
  err.attr("hresult") = code;
  err.attr("description") = description;
  err.attr("source") = source;
  PyErr_SetObject(g_comError.ptr(), err.ptr());
  throw py::error_already_set();
}

// Raises for a failed call, taking the details from the exception structure or
// the thread's error information.
[[noreturn]] void ThrowFailure(HRESULT hr, EXCEPINFO* excep) {
  std::string description, source;
  if (hr == DISP_E_EXCEPTION && excep) {
    if (excep->pfnDeferredFillIn) excep->pfnDeferredFillIn(excep);
    hr = excep->scode ? excep->scode : hr;
    description = ToUtf8(excep->bstrDescription);
    source = ToUtf8(excep->bstrSource);
    SysFreeString(excep->bstrDescription);
    SysFreeString(excep->bstrSource);
    SysFreeString(excep->bstrHelpFile);
  } else {
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.Out()) == S_OK && info) {
      Bstr d, s;
      info->GetDescription(d.Out());
      info->GetSource(s.Out());
      description = d.utf8();
      source = s.utf8();
    }
  }
  ThrowComError(hr, description, source);
}

class PyDispatch;
py::object FromVariant(const VARIANT& v);
Variant ToVariant(const py::handle& value);

// A mutable box for arguments passed by reference (an event's Cancel, say).
struct Ref {
  py::object value;
};

// What a member is, from the type information: the accessors present and the
// number of parameters of its get or method.
struct MemberShape {
  DISPID id = DISPID_UNKNOWN;
  bool method = false, get = false, put = false, putref = false;
  int getParams = 0;
  std::vector<std::u16string> paramNames;
};

class PyDispatch {
 public:
  explicit PyDispatch(ComPtr<IDispatch> obj) : obj_(std::move(obj)) {}

  IDispatch* get() const { return obj_.get(); }

  DISPID Id(const std::string& name) const {
    std::u16string wide = Utf8ToUtf16(name);
    OLECHAR* names[] = {wide.data()};
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = obj_->GetIDsOfNames(GUID_NULL, names, 1, 0, &id);
    if (Failed(hr)) return DISPID_UNKNOWN;
    return id;
  }

  MemberShape Shape(const std::string& name) const {
    MemberShape shape;
    shape.id = Id(name);
    if (shape.id == DISPID_UNKNOWN) return shape;
    ComPtr<ITypeInfo> info;
    if (Failed(obj_->GetTypeInfo(0, 0, info.Out())) || !info) {
      shape.method = shape.get = true;  // no description: let the call decide
      return shape;
    }
    TYPEATTR* attr = nullptr;
    if (Failed(info->GetTypeAttr(&attr))) return shape;
    for (uint32_t i = 0; i < attr->cFuncs; ++i) {
      FUNCDESC* f = nullptr;
      if (Failed(info->GetFuncDesc(i, &f))) continue;
      if (f->memid == shape.id) {
        switch (f->invkind) {
          case INVOKE_FUNC:
            shape.method = true;
            break;
          case INVOKE_PROPERTYGET:
            shape.get = true;
            shape.getParams = f->cParams;
            break;
          case INVOKE_PROPERTYPUT:
            shape.put = true;
            break;
          case INVOKE_PROPERTYPUTREF:
            shape.putref = true;
            break;
        }
      }
      info->ReleaseFuncDesc(f);
    }
    info->ReleaseTypeAttr(attr);
    return shape;
  }

  // Invokes id with Python arguments in declaration order; kwargs by parameter name.
  py::object Invoke(const std::string& memberName, DISPID id, uint16_t flags, py::tuple args,
                    py::dict kwargs = py::dict()) {
    std::vector<Variant> positional;
    for (auto a : args)
      positional.push_back(ToVariant(a));
    std::vector<std::pair<DISPID, Variant>> named;
    if (kwargs.size() > 0) {
      std::vector<std::u16string> names{Utf8ToUtf16(memberName)};
      for (auto item : kwargs)
        names.push_back(Utf8ToUtf16(py::str(item.first).cast<std::string>()));
      std::vector<OLECHAR*> raw;
      for (auto& n : names)
        raw.push_back(n.data());
      std::vector<DISPID> ids(names.size());
      HRESULT hr = obj_->GetIDsOfNames(GUID_NULL, raw.data(), static_cast<uint32_t>(raw.size()), 0,
                                       ids.data());
      if (Failed(hr)) throw py::type_error("unknown parameter name for " + memberName);
      size_t k = 1;
      for (auto item : kwargs)
        named.emplace_back(ids[k++], ToVariant(item.second));
    }
    return Call(id, flags, std::move(positional), std::move(named));
  }

  py::object Call(DISPID id, uint16_t flags, std::vector<Variant> positional,
                  std::vector<std::pair<DISPID, Variant>> named) {
    // rgvarg: named arguments first, then the positional ones last to first.
    std::vector<VARIANT> rgvarg;
    std::vector<DISPID> namedIds;
    for (auto& [nid, v] : named) {
      rgvarg.push_back(v);
      namedIds.push_back(nid);
    }
    for (auto it = positional.rbegin(); it != positional.rend(); ++it)
      rgvarg.push_back(*it);
    DISPPARAMS params{rgvarg.data(), namedIds.data(), static_cast<uint32_t>(rgvarg.size()),
                      static_cast<uint32_t>(namedIds.size())};
    Variant result;
    EXCEPINFO excep{};
    uint32_t argErr = 0;
    HRESULT hr = obj_->Invoke(id, GUID_NULL, 0, flags, &params, &result, &excep, &argErr);
    if (Failed(hr)) ThrowFailure(hr, &excep);
    return FromVariant(result);
  }

  py::object GetAttr(const std::string& name);
  void SetAttr(const std::string& name, py::handle value);

  py::list Dir() const {
    py::list out;
    ComPtr<ITypeInfo> info;
    if (Failed(obj_->GetTypeInfo(0, 0, info.Out())) || !info) return out;
    TYPEATTR* attr = nullptr;
    if (Failed(info->GetTypeAttr(&attr))) return out;
    std::vector<std::string> seen;
    for (uint32_t i = 0; i < attr->cFuncs; ++i) {
      FUNCDESC* f = nullptr;
      if (Failed(info->GetFuncDesc(i, &f))) continue;
      BSTR name = nullptr;
      uint32_t n = 0;
      info->GetNames(f->memid, &name, 1, &n);
      std::string s = ToUtf8(name);
      SysFreeString(name);
      if (std::find(seen.begin(), seen.end(), s) == seen.end()) seen.push_back(s);
      info->ReleaseFuncDesc(f);
    }
    info->ReleaseTypeAttr(attr);
    for (auto& s : seen)
      out.append(s);
    return out;
  }

  bool SameObject(const PyDispatch& other) const {
    ComPtr<IUnknown> a = obj_.As<IUnknown>(), b = other.obj_.As<IUnknown>();
    return a.get() == b.get();
  }

 private:
  ComPtr<IDispatch> obj_;
};

// obj.Member where Member is a method: calling it invokes the method.
struct BoundMethod {
  std::shared_ptr<PyDispatch> obj;
  std::string name;
  DISPID id;
  py::object operator()(py::args args, py::kwargs kwargs) {
    return obj->Invoke(name, id, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args, kwargs);
  }
};

// obj.Prop where Prop takes an index: obj.Prop[i], obj.Prop[i] = v, obj.Prop(i).
struct IndexedProperty {
  std::shared_ptr<PyDispatch> obj;
  std::string name;
  DISPID id;
  py::object Get(py::handle index) {
    py::tuple args = py::isinstance<py::tuple>(index) ? py::reinterpret_borrow<py::tuple>(index)
                                                      : py::make_tuple(index);
    return obj->Invoke(name, id, DISPATCH_PROPERTYGET, args);
  }
  void Set(py::handle index, py::handle value) {
    std::vector<Variant> positional;
    if (py::isinstance<py::tuple>(index)) {
      for (auto i : py::reinterpret_borrow<py::tuple>(index))
        positional.push_back(ToVariant(i));
    } else {
      positional.push_back(ToVariant(index));
    }
    std::vector<std::pair<DISPID, Variant>> named;
    named.emplace_back(DISPID_PROPERTYPUT, ToVariant(value));
    obj->Call(id, DISPATCH_PROPERTYPUT, std::move(positional), std::move(named));
  }
};

// Python-visible handle: keeps a shared PyDispatch so bound methods outlive it safely.
struct DispatchHandle {
  std::shared_ptr<PyDispatch> impl;
};

py::object DispatchHandle_GetAttr(DispatchHandle& self, const std::string& name) {
  if (name.size() > 1 && name[0] == '_' && name[1] == '_')
    throw py::attribute_error(name);  // Python's own protocol names are not members
  MemberShape shape = self.impl->Shape(name);
  if (shape.id == DISPID_UNKNOWN) throw py::attribute_error(name);
  if (shape.get && shape.getParams > 0) return py::cast(IndexedProperty{self.impl, name, shape.id});
  if (shape.get && !shape.method)
    return self.impl->Invoke(name, shape.id, DISPATCH_PROPERTYGET, py::tuple());
  if (shape.method) return py::cast(BoundMethod{self.impl, name, shape.id});
  if (shape.put || shape.putref) throw py::attribute_error(name + " can only be written");
  throw py::attribute_error(name);
}

void DispatchHandle_SetAttr(DispatchHandle& self, const std::string& name, py::handle value) {
  MemberShape shape = self.impl->Shape(name);
  if (shape.id == DISPID_UNKNOWN) throw py::attribute_error(name);
  bool byRef = shape.putref && (py::isinstance<DispatchHandle>(value) || !shape.put);
  uint16_t flags = byRef ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT;
  std::vector<std::pair<DISPID, Variant>> named;
  named.emplace_back(DISPID_PROPERTYPUT, ToVariant(value));
  self.impl->Call(shape.id, flags, {}, std::move(named));
}

py::object WrapUnknown(IUnknown* unk) {
  if (!unk) return py::none();
  ComPtr<IDispatch> disp;
  if (Succeeded(unk->QueryInterface(IDispatch::kIID, disp.OutVoid())))
    return py::cast(DispatchHandle{std::make_shared<PyDispatch>(disp)});
  return py::none();
}

py::object ArrayToList(SAFEARRAY* a) {
  if (!a) return py::none();
  VARTYPE vt = VT_EMPTY;
  SafeArrayGetVartype(a, &vt);
  uint32_t dims = SafeArrayGetDim(a);
  auto element = [&](const int32_t* idx) {
    void* p = nullptr;
    SafeArrayPtrOfIndex(a, idx, &p);
    VARIANT v;
    VariantInit(&v);
    if (vt == VT_VARIANT) {
      v = *static_cast<VARIANT*>(p);
    } else {
      v.vt = vt;
      std::memcpy(&v.llVal, p, a->cbElements);
    }
    return FromVariant(v);  // v is borrowed: FromVariant copies what it keeps
  };
  if (dims == 1) {
    int32_t lo = 0, hi = -1;
    SafeArrayGetLBound(a, 1, &lo);
    SafeArrayGetUBound(a, 1, &hi);
    py::list out;
    for (int32_t i = lo; i <= hi; ++i)
      out.append(element(&i));
    return out;
  }
  if (dims == 2) {
    int32_t lo1 = 0, hi1 = -1, lo2 = 0, hi2 = -1;
    SafeArrayGetLBound(a, 1, &lo1);
    SafeArrayGetUBound(a, 1, &hi1);
    SafeArrayGetLBound(a, 2, &lo2);
    SafeArrayGetUBound(a, 2, &hi2);
    py::list rows;
    for (int32_t i = lo1; i <= hi1; ++i) {
      py::list row;
      for (int32_t j = lo2; j <= hi2; ++j) {
        int32_t idx[2] = {i, j};
        row.append(element(idx));
      }
      rows.append(row);
    }
    return rows;
  }
  throw py::value_error("arrays of more than two dimensions are not converted");
}

py::object FromVariant(const VARIANT& in) {
  const VARIANT& v = in;
  if (in.vt & VT_BYREF) {
    Variant copy;
    VariantCopyInd(&copy, &in);
    return FromVariant(copy);
  }
  if (v.vt & VT_ARRAY) return ArrayToList(v.parray);
  switch (v.vt) {
    case VT_EMPTY:
    case VT_NULL:
      return py::none();
    case VT_I1:
      return py::int_(v.cVal);
    case VT_UI1:
      return py::int_(v.bVal);
    case VT_I2:
      return py::int_(v.iVal);
    case VT_UI2:
      return py::int_(v.uiVal);
    case VT_I4:
    case VT_INT:
      return py::int_(v.lVal);
    case VT_UI4:
    case VT_UINT:
      return py::int_(v.ulVal);
    case VT_I8:
      return py::int_(v.llVal);
    case VT_UI8:
      return py::int_(v.ullVal);
    // Booleans keep their integer value: some getters answer 1, others -1.
    case VT_BOOL:
      return py::int_(v.boolVal);
    case VT_ERROR:
      return py::int_(static_cast<uint32_t>(v.scode));
    case VT_R4:
      return py::float_(v.fltVal);
    case VT_R8:
    case VT_DATE:
      return py::float_(v.dblVal);
    // A null string (the control's "no value") is None; an empty one is "".
    case VT_BSTR:
      return v.bstrVal ? py::object(py::str(ToUtf8(v.bstrVal))) : py::none();
    case VT_DISPATCH:
    case VT_UNKNOWN:
      return WrapUnknown(v.punkVal);
    default:
      throw py::type_error("unsupported variant type " + std::to_string(v.vt));
  }
}

Variant ListToArray(const py::sequence& seq) {
  // A list of equal-length lists becomes two dimensions; anything else one.
  bool twoDims = py::len(seq) > 0;
  size_t cols = 0;
  for (auto item : seq) {
    if (!py::isinstance<py::list>(item) && !py::isinstance<py::tuple>(item)) {
      twoDims = false;
      break;
    }
    size_t n = py::len(item);
    if (cols == 0) cols = n;
    if (n != cols || n == 0) {
      twoDims = false;
      break;
    }
  }
  Variant out;
  out.vt = VT_ARRAY | VT_VARIANT;
  if (twoDims) {
    SAFEARRAYBOUND bounds[2] = {{static_cast<uint32_t>(py::len(seq)), 0},
                                {static_cast<uint32_t>(cols), 0}};
    out.parray = SafeArrayCreate(VT_VARIANT, 2, bounds);
    int32_t i = 0;
    for (auto row : seq) {
      int32_t j = 0;
      for (auto cell : row) {
        int32_t idx[2] = {i, j++};
        Variant v = ToVariant(cell);
        SafeArrayPutElement(out.parray, idx, &v);
      }
      ++i;
    }
    return out;
  }
  out.parray = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<uint32_t>(py::len(seq)));
  int32_t i = 0;
  for (auto item : seq) {
    Variant v = ToVariant(item);
    SafeArrayPutElement(out.parray, &i, &v);
    ++i;
  }
  return out;
}

// A numpy array of one or two dimensions as an array of doubles, in the
// array's own (C) memory order: the array's first dimension, which varies
// fastest, is numpy's last axis. So a[r, c] is element r × columns + c in
// storage order, which is how the control reads a matrix such as MixChannels'
// gains[out, in].
Variant NumpyToArray(const py::handle& value) {
  auto a = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(value);
  if (!a || a.ndim() < 1 || a.ndim() > 2)
    throw py::type_error("arrays of one or two dimensions only");
  Variant out;
  out.vt = VT_ARRAY | VT_R8;
  const auto rows = a.ndim() == 2 ? static_cast<uint32_t>(a.shape(0)) : 1U;
  const auto cols = static_cast<uint32_t>(a.shape(a.ndim() - 1));
  SAFEARRAYBOUND bounds[2] = {{cols, 0}, {rows, 0}};
  out.parray = SafeArrayCreate(VT_R8, static_cast<uint32_t>(a.ndim()), bounds);
  if (!out.parray) throw std::bad_alloc();
  if (a.size() > 0)
    std::memcpy(out.parray->pvData, a.data(), static_cast<size_t>(a.size()) * sizeof(double));
  return out;
}

Variant ToVariant(const py::handle& value) {
  if (value.is_none()) return Variant();
  if (py::isinstance<py::array>(value) && py::reinterpret_borrow<py::array>(value).ndim() > 0)
    return NumpyToArray(value);
  if (py::isinstance<py::bool_>(value)) return Variant::Bool(value.cast<bool>());
  if (py::isinstance<py::int_>(value)) {
    int64_t n = value.cast<int64_t>();
    if (n >= INT32_MIN && n <= INT32_MAX) return Variant::I4(static_cast<int32_t>(n));
    return Variant::I8(n);
  }
  if (py::isinstance<py::float_>(value)) return Variant::R8(value.cast<double>());
  if (py::isinstance<py::str>(value)) return Variant::Str(Utf8ToUtf16(value.cast<std::string>()));
  if (py::isinstance<DispatchHandle>(value)) {
    Variant v;
    v.vt = VT_DISPATCH;
    v.pdispVal = value.cast<DispatchHandle&>().impl->get();
    v.pdispVal->AddRef();
    return v;
  }
  if (py::isinstance<py::list>(value) || py::isinstance<py::tuple>(value))
    return ListToArray(py::reinterpret_borrow<py::sequence>(value));
  if (py::hasattr(value, "__float__") && !py::isinstance<py::bytes>(value))
    return Variant::R8(
        py::reinterpret_borrow<py::object>(value).attr("__float__")().cast<double>());
  throw py::type_error("cannot pass a value of type " +
                       std::string(py::str(py::type::of(value).attr("__name__"))));
}

// The sink that turns events into calls of handler.On<Event>(...).
class EventSink final : public ComObject<EventSink, IDispatch> {
 public:
  EventSink(py::object handler, std::map<DISPID, std::string> names)
      : handler_(std::move(handler)), names_(std::move(names)) {}
  ~EventSink() override {
    py::gil_scoped_acquire gil;
    handler_ = py::object();
  }

  HRESULT GetTypeInfoCount(uint32_t* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, OLECHAR**, uint32_t, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID id, REFIID, LCID, uint16_t, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                 uint32_t*) override {
    auto it = names_.find(id);
    if (it == names_.end()) return S_OK;
    py::gil_scoped_acquire gil;
    py::object method = py::getattr(handler_, ("On" + it->second).c_str(), py::none());
    if (method.is_none()) return S_OK;
    // Declaration order; by-reference arguments travel in a Ref the handler may change.
    py::list args;
    std::vector<std::pair<VARIANT*, py::object>> refs;
    for (uint32_t i = params->cArgs; i-- > 0;) {
      VARIANT* v = &params->rgvarg[i];
      if (v->vt & VT_BYREF) {
        py::object ref = py::cast(Ref{FromVariant(*v)});
        refs.emplace_back(v, ref);
        args.append(ref);
      } else {
        args.append(FromVariant(*v));
      }
    }
    try {
      py::object returned = method(*args);
      if (refs.size() == 1 && !returned.is_none()) refs[0].second.cast<Ref&>().value = returned;
      for (auto& [target, ref] : refs) {
        Variant value = ToVariant(ref.cast<Ref&>().value);
        Variant converted;
        VARTYPE vt = target->vt & ~VT_BYREF;
        if (Succeeded(VariantChangeType(&converted, &value, 0, vt)) && vt == VT_I2)
          *target->piVal = converted.iVal;
        else if (Succeeded(VariantChangeType(&converted, &value, 0, vt)) && vt == VT_I4)
          *target->plVal = converted.lVal;
      }
    } catch (py::error_already_set& e) {
      // A handler's exception must not unwind through the control.
      e.discard_as_unraisable(method);
    }
    return S_OK;
  }

 private:
  py::object handler_;
  std::map<DISPID, std::string> names_;
};

struct Connection {
  ComPtr<IConnectionPoint> point;
  uint32_t cookie = 0;
  void Disconnect() {
    if (point && cookie) point->Unadvise(cookie);
    cookie = 0;
    point.Reset();
  }
  bool Connected() const { return cookie != 0; }
};

std::shared_ptr<PyDispatch> CreateObject(const std::string& what) {
  std::u16string wide = Utf8ToUtf16(what);
  CLSID clsid{};
  if (Failed(CLSIDFromString(wide.c_str(), &clsid)) &&
      Failed(CLSIDFromProgID(wide.c_str(), &clsid)))
    ThrowComError(CO_E_CLASSSTRING, "Invalid class string: " + what, "qelaudio");
  ComPtr<IDispatch> obj;
  HRESULT hr =
      CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IDispatch::kIID, obj.OutVoid());
  if (Failed(hr)) ThrowFailure(hr, nullptr);
  return std::make_shared<PyDispatch>(obj);
}

// ---- sample data of the media-core objects ----

// The samples a data-buffer or audio-frame-data object holds, with their
// format when it says it: a data buffer starts with its wave-format record, an
// audio-frame-data object keeps it apart (or has none).
struct HeldSamples {
  ComPtr<IUnknown> owner;  // keeps the memory alive
  const uint8_t* data = nullptr;
  size_t size = 0;
  std::optional<qel::external::WaveRecord> format;
};

HeldSamples SamplesOf(DispatchHandle& object) {
  IDispatch* d = object.impl->get();
  HeldSamples out;
  ComPtr<IAudioFrameData> frames;
  ComPtr<IDataBuffer> buffer;
  int32_t size = 0;
  uint8_t* bytes = nullptr;
  if (Succeeded(d->QueryInterface(IAudioFrameData::kIID, frames.OutVoid()))) {
    frames->get_DataSize(&size);
    frames->GetBuffer(&bytes);
    int32_t formatSize = 0;
    uint8_t* record = nullptr;
    frames->get_FormatSize(&formatSize);
    frames->GetFormat(&record);
    if (record && formatSize >= 16)
      out.format = qel::external::DecodeWaveRecord({record, static_cast<size_t>(formatSize)});
    out.owner = frames.As<IUnknown>();
  } else if (Succeeded(d->QueryInterface(IDataBuffer::kIID, buffer.OutVoid()))) {
    buffer->get_DataSize(&size);
    buffer->GetBuffer(&bytes);
    out.owner = buffer.As<IUnknown>();
    if (bytes && size >= 18) {
      out.format = qel::external::DecodeWaveRecord({bytes, static_cast<size_t>(size)});
      const size_t skip = out.format ? out.format->Size() : 0;
      if (skip > static_cast<size_t>(size)) throw py::value_error("the record overruns the data");
      bytes += skip;
      size -= static_cast<int32_t>(skip);
    }
  } else {
    throw py::type_error("not a data-buffer or audio-frame-data object");
  }
  out.data = bytes;
  out.size = bytes && size > 0 ? static_cast<size_t>(size) : 0;
  return out;
}

py::bytes AudioBytes(DispatchHandle& object) {
  const HeldSamples held = SamplesOf(object);
  return py::bytes(reinterpret_cast<const char*>(held.data), held.size);
}

// frames x channels in the samples' own type (8-bit unsigned, 16- and 32-bit
// signed; 24-bit samples widened to int32, the one case that converts). Over a
// bytes copy of the samples, so the array is read-only.
py::array AudioArray(DispatchHandle& object, std::optional<int> channels,
                     std::optional<int> sampleSize) {
  const HeldSamples held = SamplesOf(object);
  const int c = channels.value_or(held.format ? held.format->channels : 0);
  const int bits = sampleSize.value_or(held.format ? held.format->bitsPerSample : 0);
  if (c < 1 || (bits != 8 && bits != 16 && bits != 24 && bits != 32))
    throw py::value_error("the data says no format: give channels and sample_size");
  const size_t align = static_cast<size_t>(bits / 8 * c);
  const auto frames = static_cast<py::ssize_t>(held.size / align);
  py::module_ np = py::module_::import("numpy");
  if (bits == 24) {
    py::array_t<int32_t> wide({frames, static_cast<py::ssize_t>(c)});
    int32_t* out = wide.mutable_data();
    for (py::ssize_t i = 0; i < frames * c; ++i) {
      const uint8_t* p = held.data + i * 3;
      const auto u = static_cast<uint32_t>(p[0]) << 8 | static_cast<uint32_t>(p[1]) << 16 |
                     static_cast<uint32_t>(p[2]) << 24;
      out[i] = static_cast<int32_t>(u) >> 8;
    }
    return wide;
  }
  const char* dtype = bits == 8 ? "uint8" : bits == 16 ? "<i2" : "<i4";
  py::bytes copy(reinterpret_cast<const char*>(held.data), static_cast<size_t>(frames) * align);
  return np.attr("frombuffer")(copy, dtype).attr("reshape")(frames, c).cast<py::array>();
}

// A new audio-frame-data object holding the given samples: bytes (or any
// contiguous buffer) as they are, a numpy array in C order. With sample_size
// 24, integers are packed into three bytes each.
py::object AudioData(py::handle samples, std::optional<int> sampleSize) {
  std::string packed;
  const uint8_t* data = nullptr;
  size_t size = 0;
  py::buffer_info info;
  if (sampleSize == 24) {
    auto wide = py::array_t<int32_t, py::array::c_style | py::array::forcecast>::ensure(samples);
    if (!wide) throw py::type_error("24-bit samples come as an integer array");
    packed.resize(static_cast<size_t>(wide.size()) * 3);
    const int32_t* in = wide.data();
    for (py::ssize_t i = 0; i < wide.size(); ++i) {
      const auto u = static_cast<uint32_t>(in[i]);
      packed[static_cast<size_t>(i) * 3] = static_cast<char>(u);
      packed[static_cast<size_t>(i) * 3 + 1] = static_cast<char>(u >> 8);
      packed[static_cast<size_t>(i) * 3 + 2] = static_cast<char>(u >> 16);
    }
    data = reinterpret_cast<const uint8_t*>(packed.data());
    size = packed.size();
  } else {
    py::object contiguous = py::reinterpret_borrow<py::object>(samples);
    if (py::isinstance<py::array>(samples))
      contiguous = py::module_::import("numpy").attr("ascontiguousarray")(samples);
    if (!PyObject_CheckBuffer(contiguous.ptr()))
      throw py::type_error("samples come as bytes or a numpy array");
    info = py::reinterpret_borrow<py::buffer>(contiguous).request();
    data = static_cast<const uint8_t*>(info.ptr);
    size = static_cast<size_t>(info.size * info.itemsize);
  }
  if (size > static_cast<size_t>(INT32_MAX)) throw py::value_error("more than 2 GiB of samples");
  ComPtr<IAudioFrameData> frames;
  HRESULT hr = CoCreateInstance(qel::CLSID_AudioFrameData, nullptr, CLSCTX_INPROC_SERVER,
                                IAudioFrameData::kIID, frames.OutVoid());
  if (Failed(hr)) ThrowFailure(hr, nullptr);
  uint8_t* target = nullptr;
  if (Failed(hr = frames->AllocateBuffer(static_cast<int32_t>(size))) ||
      Failed(hr = frames->GetBuffer(&target)))
    ThrowFailure(hr, nullptr);
  if (size > 0) std::memcpy(target, data, size);
  frames->put_DataSize(static_cast<int32_t>(size));
  return WrapUnknown(frames.get());
}

// ---- the clipboard of headless controls ----

// Replaces everything on the clipboard the process's headless controls share
// with the given MIME types and their bytes.
void SetClipboard(const std::map<std::string, py::bytes>& items) {
  const std::shared_ptr<qel::platform::Clipboard> clipboard =
      qel::platform::SharedHeadlessClipboard();
  qel::platform::ClipboardSession session(*clipboard);
  if (!session.IsOpen()) throw std::runtime_error("the clipboard is open elsewhere");
  session->Empty();
  for (const auto& [type, bytes] : items) {
    const std::string_view view = bytes;
    session->SetData(type, std::vector<uint8_t>(view.begin(), view.end()));
  }
}

std::optional<py::bytes> GetClipboard(const std::string& type) {
  const std::shared_ptr<qel::platform::Clipboard> clipboard =
      qel::platform::SharedHeadlessClipboard();
  qel::platform::ClipboardSession session(*clipboard);
  if (!session.IsOpen()) throw std::runtime_error("the clipboard is open elsewhere");
  std::optional<std::vector<uint8_t>> data = session->GetData(type);
  if (!data) return std::nullopt;
  return py::bytes(reinterpret_cast<const char*>(data->data()), data->size());
}

Connection Connect(DispatchHandle& target, py::object handler) {
  IDispatch* obj = target.impl->get();
  ComPtr<IConnectionPointContainer> container;
  if (Failed(obj->QueryInterface(IConnectionPointContainer::kIID, container.OutVoid())))
    throw py::type_error("this object has no events");
  IID source = GUID_NULL;
  ComPtr<IProvideClassInfo2> classInfo;
  if (Succeeded(obj->QueryInterface(IProvideClassInfo2::kIID, classInfo.OutVoid())))
    classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source);
  Connection c;
  HRESULT hr = container->FindConnectionPoint(source, c.point.Out());
  if (Failed(hr)) ThrowFailure(hr, nullptr);
  std::map<DISPID, std::string> names;
  if (const DispTable* table = ClassTable::Instance().FindInterface(source))
    for (const DispEntry& e : table->entries)
      names[e.id] = Utf16ToUtf8(e.name);
  auto sink = EventSink::Create(std::move(handler), std::move(names));
  hr = c.point->Advise(sink.get(), &c.cookie);
  if (Failed(hr)) ThrowFailure(hr, nullptr);
  return c;
}

}  // namespace

PYBIND11_MODULE(qelaudio, m) {
  m.doc() = "Late-bound automation client for the audio-editing control";
  // Make sure the control's classes are in the class table.
  qel::RegisterControlClasses();

  g_comError = py::reinterpret_borrow<py::object>(
      PyErr_NewException("qelaudio.ComError", PyExc_Exception, nullptr));
  m.attr("ComError") = g_comError;

  py::class_<Ref>(m, "Ref", "A value passed by reference; handlers may assign .value")
      .def(py::init([](py::object v) { return Ref{std::move(v)}; }), py::arg("value") = py::none())
      .def_readwrite("value", &Ref::value)
      .def("__repr__", [](const Ref& r) { return "Ref(" + std::string(py::repr(r.value)) + ")"; });

  py::class_<BoundMethod>(m, "BoundMethod")
      .def("__call__", &BoundMethod::operator())
      .def("__repr__", [](const BoundMethod& b) { return "<method " + b.name + ">"; });

  py::class_<IndexedProperty>(m, "IndexedProperty")
      .def("__getitem__", &IndexedProperty::Get)
      .def("__setitem__", &IndexedProperty::Set)
      .def("__call__", [](IndexedProperty& p, py::args args) { return p.Get(args); });

  py::class_<DispatchHandle>(m, "DispatchObject", py::dynamic_attr())
      .def("__getattr__", &DispatchHandle_GetAttr)
      .def("__setattr__", &DispatchHandle_SetAttr)
      .def("__dir__", [](DispatchHandle& h) { return h.impl->Dir(); })
      .def("__eq__",
           [](DispatchHandle& a, py::object b) {
             return py::isinstance<DispatchHandle>(b) &&
                    a.impl->SameObject(*b.cast<DispatchHandle&>().impl);
           })
      .def("__hash__",
           [](DispatchHandle& a) { return reinterpret_cast<uintptr_t>(a.impl->get()); });

  py::class_<Connection>(m, "Connection")
      .def("disconnect", &Connection::Disconnect)
      .def_property_readonly("connected", &Connection::Connected)
      .def("__enter__", [](Connection& c) -> Connection& { return c; })
      .def("__exit__", [](Connection& c, py::args) { c.Disconnect(); });

  m.def(
      "Dispatch", [](const std::string& what) { return DispatchHandle{CreateObject(what)}; },
      py::arg("progid_or_clsid"),
      "Creates an object by ProgID or class identifier and returns it late-bound");
  m.def(
      "dispid",
      [](DispatchHandle& obj, const std::string& name) {
        DISPID id = obj.impl->Id(name);
        if (id == DISPID_UNKNOWN)
          ThrowComError(DISP_E_UNKNOWNNAME, "Unknown name: " + name, "qelaudio");
        return id;
      },
      "The dispatch identifier GetIDsOfNames gives for name");
  m.def("audio_bytes", &AudioBytes, py::arg("data"),
        "The samples of a data-buffer or audio-frame-data object, without its format record");
  m.def("audio_array", &AudioArray, py::arg("data"), py::arg("channels") = py::none(),
        py::arg("sample_size") = py::none(),
        "The samples of a data-buffer or audio-frame-data object as a read-only numpy array "
        "of frames x channels");
  m.def("audio_data", &AudioData, py::arg("samples"), py::arg("sample_size") = py::none(),
        "A new audio-frame-data object holding the samples (bytes or a numpy array)");
  m.def("set_clipboard", &SetClipboard, py::arg("items"),
        "Replaces the headless controls' clipboard by {MIME type: bytes}");
  m.def("get_clipboard", &GetClipboard, py::arg("mime_type"),
        "The bytes of one MIME type on the headless controls' clipboard, or None");
  m.def(
      "_inject_io_fault",
      [](const std::string& kind, int64_t n, int error, bool persistent) {
        qel::platform::IoCall call;
        if (!qel::platform::IoCallFromName(kind, &call))
          throw py::value_error("no such kind of file call: " + kind);
        if (n < 1 || error <= 0) throw py::value_error("n and errno must be positive");
        qel::platform::InjectIoFault(call, n, error, persistent);
      },
      py::arg("kind"), py::arg("n"), py::arg("errno"), py::arg("persistent") = false,
      "Testing: the n-th file call of kind (from now on) fails with errno, and with "
      "persistent every later one too");
  m.def("_clear_io_faults", &qel::platform::ClearIoFaults, "Testing: file calls succeed again");
  m.def(
      "_io_calls_seen",
      [](const std::string& kind) {
        qel::platform::IoCall call;
        if (!qel::platform::IoCallFromName(kind, &call))
          throw py::value_error("no such kind of file call: " + kind);
        return qel::platform::IoCallsSeen(call);
      },
      py::arg("kind"), "Testing: the file calls of kind made since its fault was armed");
  m.def("connect", &Connect, py::arg("obj"), py::arg("handler"),
        "Delivers obj's events to handler.On<Event>(...); returns the connection");
  m.def(
      "run_messages",
      [](DispatchHandle& control, double seconds, py::object until) {
        // What a host's main loop does: deliver the control's queue (device
        // events, posted work, timers) until `until()` is true or time is up.
        ComPtr<qel::IAudioEditor> editor;
        if (Failed(control.impl->get()->QueryInterface(qel::IAudioEditor::kIID, editor.OutVoid())))
          throw py::type_error("run_messages needs an audio-editor control");
        auto& queue = static_cast<qel::CAudioEditor*>(editor.get())->Queue();
        std::function<bool()> done;
        if (!until.is_none()) done = [&until] { return until().cast<bool>(); };
        if (done && done()) return true;
        return qel::RunMessageLoop(queue, done,
                                   std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000)));
      },
      py::arg("control"), py::arg("seconds"), py::arg("until") = py::none(),
      "Delivers the control's messages (device events, timers) for up to `seconds`, or until "
      "until() is true; returns whether until() became true");
  qelaudio::RegisterHeadlessWindow(
      m, [](py::handle obj) { return obj.cast<DispatchHandle&>().impl->get(); });
}
