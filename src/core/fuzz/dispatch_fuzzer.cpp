// libFuzzer target for late binding: the input is read as a script of calls
// into the control's dispatch tables — names (known ones, misspelt ones, any
// bytes), dispatch identifiers (known and arbitrary), call flags, named
// arguments and argument lists of any length and type, by value and by
// reference. The members answer from the generated defaults, so what is
// fuzzed is the dispatcher itself: name lookup, argument counting, coercion,
// by-reference delivery and the error information of a refused call.
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "com/dispatch.h"
#include "com/variant.h"
#include "core/surface.h"
#include "core/surface_defaults.h"

namespace {

using namespace qel::com;

// One object per interface, its stored properties in a value of its own.
template <class Defaults>
class Fake;

template <class Defaults>
requires requires(Defaults& d) {
  d.Stored();
}
class Fake<Defaults> final : public DispatchObject<Fake<Defaults>, Defaults> {
 public:
  std::remove_reference_t<decltype(std::declval<Defaults&>().Stored())>& Stored() override {
    return stored_;
  }

 private:
  std::remove_reference_t<decltype(std::declval<Defaults&>().Stored())> stored_{};
};

template <class Defaults>
class Fake final : public DispatchObject<Fake<Defaults>, Defaults> {};

// Reads the input front to back; past its end every read answers 0.
class Script {
 public:
  Script(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool More() const { return at_ < size_; }
  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  uint32_t U32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
      v = v << 8 | Byte();
    return v;
  }
  double Real() {
    uint64_t bits = static_cast<uint64_t>(U32()) << 32 | U32();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
  }
  std::u16string Text() {
    std::u16string s(Byte() % 24, u'\0');
    for (char16_t& c : s)
      c = static_cast<char16_t>(Byte() % 3 == 0 ? Byte() | Byte() << 8 : Byte());
    return s;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

Variant Value(Script& in) {
  switch (in.Byte() % 9) {
    case 0:
      return Variant();
    case 1:
      return Variant::I4(static_cast<int32_t>(in.U32()));
    case 2:
      return Variant::R8(in.Real());
    case 3:
      return Variant::Str(in.Text());
    case 4:
      return Variant::Bool(in.Byte() & 1);
    case 5:
      return Variant::I8(static_cast<int64_t>(in.U32()) << 32 | in.U32());
    case 6: {
      // Other type tags, with a zero payload: null strings, objects and arrays.
      static constexpr VARTYPE kTags[] = {
          VT_NULL,     VT_I1,      VT_UI1,           VT_I2,           VT_UI2,   VT_UI4,
          VT_UI8,      VT_R4,      VT_DATE,          VT_CY,           VT_ERROR, VT_BSTR,
          VT_DISPATCH, VT_UNKNOWN, VT_ARRAY | VT_R8, VT_ARRAY | VT_I4};
      Variant v = Variant::I8(0);
      v.vt = kTags[in.Byte() % std::size(kTags)];
      return v;
    }
    default:
      return Variant::I4(static_cast<int32_t>(in.Byte()) - 128);
  }
}

void Call(IDispatch* object, const DispTable& table, Script& in) {
  DISPID id = 0;
  const uint8_t how = in.Byte();
  if (how % 3 == 0 && !table.entries.empty()) {
    // A known member, asked for by its name spelt in another case.
    std::u16string name = table.entries[in.Byte() % table.entries.size()].name;
    if (how & 8)
      for (char16_t& c : name)
        c = c >= u'a' && c <= u'z' ? c - 32 : c;
    OLECHAR* names[] = {name.data()};
    if (Failed(object->GetIDsOfNames(GUID_NULL, names, 1, 0, &id))) return;
  } else if (how % 3 == 1) {
    std::u16string name = in.Text();
    OLECHAR* names[] = {name.data()};
    if (Failed(object->GetIDsOfNames(GUID_NULL, names, 1, 0, &id)))
      id = static_cast<DISPID>(in.U32());
  } else {
    id = static_cast<DISPID>(in.U32() % 512) - 8;
  }
  const uint16_t flags = static_cast<uint16_t>(in.Byte() % 16);
  std::vector<Variant> values(in.Byte() % 16);
  for (Variant& v : values)
    v = Value(in);
  // Some arguments are passed by reference to another variant of the list.
  std::vector<VARIANT> args(values.size());
  std::vector<Variant> targets(values.size());
  for (size_t i = 0; i < values.size(); ++i) {
    if (in.Byte() % 5 == 0 && values[i].vt < VT_BSTR + 1) {
      targets[i] = values[i];
      VariantInit(&args[i]);
      args[i].vt = static_cast<VARTYPE>(VT_BYREF | VT_VARIANT);
      args[i].pvarVal = &targets[i];
    } else {
      args[i] = values[i];
    }
  }
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{args.data(), nullptr, static_cast<uint32_t>(args.size()), 0};
  if ((flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) && !args.empty() &&
      in.Byte() % 4 != 0) {
    params.rgdispidNamedArgs = &named;
    params.cNamedArgs = 1;
  }
  Variant result;
  EXCEPINFO excep{};
  uint32_t argErr = 0;
  object->Invoke(id, GUID_NULL, 0, flags, &params, &result, &excep, &argErr);
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrHelpFile);
}

template <class Defaults>
void Run(Script& in) {
  ComPtr<Fake<Defaults>> object = Fake<Defaults>::Create();
  ITypeInfo* info = nullptr;
  if (Succeeded(object->GetTypeInfo(0, 0, &info)) && info) info->Release();
  for (int calls = 0; calls < 16 && in.More(); ++calls)
    Call(object.get(), Defaults::DispatchTable(), in);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Script in(data, size);
  switch (in.Byte() % 6) {
    case 0:
      Run<qel::IAudioEditorDefaults>(in);
      break;
    case 1:
      Run<qel::IEditorTransformDefaults>(in);
      break;
    case 2:
      Run<qel::IEditorPositionDefaults>(in);
      break;
    case 3:
      Run<qel::IEditorMarkersDefaults>(in);
      break;
    case 4:
      Run<qel::IEditorConvertSampleTypeDefaults>(in);
      break;
    default:
      Run<qel::IEditorVSTTransformDefaults>(in);
      break;
  }
  return 0;
}
