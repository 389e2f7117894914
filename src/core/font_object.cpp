#include "core/font_object.h"

#include <algorithm>
#include <cmath>

#include "com/variant.h"

namespace qel::view {

using namespace com;

namespace {

// The standard dispatch identifiers of font properties.
constexpr DISPID kName = 0;
constexpr DISPID kSize = 2;
constexpr DISPID kBold = 3;
constexpr DISPID kItalic = 4;
constexpr DISPID kUnderline = 5;
constexpr DISPID kStrikethrough = 6;
constexpr DISPID kWeight = 7;
constexpr DISPID kCharset = 8;

#define QEL_FONT_GET(id, name, vt, slot)                                                         \
  DispEntry {                                                                                    \
    id, u## #name, MemberKind::PropGet, slot, 1, {{{u"pVal", vt | VT_BYREF, ParamDir::Retval}}}, \
        &InvokeMember<&IQelFont::get_##name>, &AbiSlot<&IQelFont::get_##name>                    \
  }
#define QEL_FONT_PUT(id, name, vt, slot)                                            \
  DispEntry {                                                                       \
    id, u## #name, MemberKind::PropPut, slot, 1, {{{u"newVal", vt, ParamDir::In}}}, \
        &InvokeMember<&IQelFont::put_##name>, &AbiSlot<&IQelFont::put_##name>       \
  }

const DispEntry kFontEntries[] = {
    QEL_FONT_GET(kName, Name, VT_BSTR, 7),
    QEL_FONT_PUT(kName, Name, VT_BSTR, 8),
    QEL_FONT_GET(kSize, Size, VT_R8, 9),
    QEL_FONT_PUT(kSize, Size, VT_R8, 10),
    QEL_FONT_GET(kBold, Bold, VT_BOOL, 11),
    QEL_FONT_PUT(kBold, Bold, VT_BOOL, 12),
    QEL_FONT_GET(kItalic, Italic, VT_BOOL, 13),
    QEL_FONT_PUT(kItalic, Italic, VT_BOOL, 14),
    QEL_FONT_GET(kUnderline, Underline, VT_BOOL, 15),
    QEL_FONT_PUT(kUnderline, Underline, VT_BOOL, 16),
    QEL_FONT_GET(kStrikethrough, Strikethrough, VT_BOOL, 17),
    QEL_FONT_PUT(kStrikethrough, Strikethrough, VT_BOOL, 18),
    QEL_FONT_GET(kWeight, Weight, VT_I2, 19),
    QEL_FONT_PUT(kWeight, Weight, VT_I2, 20),
    QEL_FONT_GET(kCharset, Charset, VT_I2, 21),
    QEL_FONT_PUT(kCharset, Charset, VT_I2, 22),
};

#undef QEL_FONT_GET
#undef QEL_FONT_PUT

const DispTable kFontTable{IQelFont::kIID, u"IFontDisp", kFontEntries, false};

VARIANT_BOOL Flag(bool b) {
  return b ? VARIANT_TRUE : VARIANT_FALSE;
}

}  // namespace

const DispTable& IQelFont::DispatchTable() {
  return kFontTable;
}

HRESULT CFontObject::get_Name(BSTR* value) {
  if (!value) return E_POINTER;
  *value = Bstr::FromUtf8(font_.name).Detach();
  return S_OK;
}

HRESULT CFontObject::put_Name(BSTR value) {
  const std::string name = ToUtf8(value);
  if (name.empty()) return E_INVALIDARG;
  if (name == font_.name) return S_OK;
  font_.name = name;
  Changed();
  return S_OK;
}

HRESULT CFontObject::get_Size(double* value) {
  if (!value) return E_POINTER;
  *value = font_.size;
  return S_OK;
}

HRESULT CFontObject::put_Size(double value) {
  if (!(value > 0) || value > 1000) return E_INVALIDARG;
  if (value == font_.size) return S_OK;
  font_.size = value;
  Changed();
  return S_OK;
}

HRESULT CFontObject::get_Bold(VARIANT_BOOL* value) {
  if (!value) return E_POINTER;
  *value = Flag(font_.weight > 500);
  return S_OK;
}

HRESULT CFontObject::put_Bold(VARIANT_BOOL value) {
  const int32_t weight = value ? 700 : 400;
  if (weight == font_.weight) return S_OK;
  font_.weight = weight;
  Changed();
  return S_OK;
}

HRESULT CFontObject::get_Italic(VARIANT_BOOL* value) {
  if (!value) return E_POINTER;
  *value = Flag(font_.italic);
  return S_OK;
}

HRESULT CFontObject::put_Italic(VARIANT_BOOL value) {
  if ((value != 0) == font_.italic) return S_OK;
  font_.italic = value != 0;
  Changed();
  return S_OK;
}

HRESULT CFontObject::get_Underline(VARIANT_BOOL* value) {
  if (!value) return E_POINTER;
  *value = Flag(font_.underline);
  return S_OK;
}

HRESULT CFontObject::put_Underline(VARIANT_BOOL value) {
  if ((value != 0) == font_.underline) return S_OK;
  font_.underline = value != 0;
  Changed();
  return S_OK;
}

HRESULT CFontObject::get_Strikethrough(VARIANT_BOOL* value) {
  if (!value) return E_POINTER;
  *value = Flag(font_.strikethrough);
  return S_OK;
}

HRESULT CFontObject::put_Strikethrough(VARIANT_BOOL value) {
  if ((value != 0) == font_.strikethrough) return S_OK;
  font_.strikethrough = value != 0;
  Changed();
  return S_OK;
}

HRESULT CFontObject::get_Weight(int16_t* value) {
  if (!value) return E_POINTER;
  *value = static_cast<int16_t>(font_.weight);
  return S_OK;
}

HRESULT CFontObject::put_Weight(int16_t value) {
  if (value < 0 || value > 1000) return E_INVALIDARG;
  if (value == font_.weight) return S_OK;
  font_.weight = value;
  Changed();
  return S_OK;
}

HRESULT CFontObject::get_Charset(int16_t* value) {
  if (!value) return E_POINTER;
  *value = charset_;
  return S_OK;
}

HRESULT CFontObject::put_Charset(int16_t value) {
  // Text is Unicode throughout; the character set is kept for hosts that read it back.
  charset_ = value;
  return S_OK;
}

void CFontObject::SetDescription(const FontDescription& description) {
  if (description == font_) return;
  font_ = description;
  Changed();
}

void CFontObject::AddListener(FontListener* listener) {
  if (std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end())
    listeners_.push_back(listener);
}

void CFontObject::RemoveListener(FontListener* listener) {
  listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

void CFontObject::Changed() {
  // A listener may remove itself while being told.
  const std::vector<FontListener*> listeners = listeners_;
  for (FontListener* l : listeners)
    l->FontChanged();
}

FontDescription DescribeFont(IFontDisp* font) {
  FontDescription d;
  if (!font) return d;
  ComPtr<IQelFont> ours;
  if (Succeeded(font->QueryInterface(IQelFont::kIID, ours.OutVoid())))
    return static_cast<CFontObject*>(ours.get())->Description();
  auto get = [&](DISPID id, VARTYPE vt, Variant* out) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    Variant raw;
    if (Failed(font->Invoke(id, GUID_NULL, 0, DISPATCH_PROPERTYGET, &none, &raw, nullptr, nullptr)))
      return false;
    return Succeeded(VariantChangeType(out, &raw, 0, vt));
  };
  Variant v;
  if (get(kName, VT_BSTR, &v)) d.name = ToUtf8(v.bstrVal);
  if (get(kSize, VT_R8, &v) && v.dblVal > 0) d.size = v.dblVal;
  if (get(kWeight, VT_I4, &v))
    d.weight = v.lVal;
  else if (get(kBold, VT_BOOL, &v))
    d.weight = v.boolVal ? 700 : 400;
  if (get(kItalic, VT_BOOL, &v)) d.italic = v.boolVal != 0;
  if (get(kUnderline, VT_BOOL, &v)) d.underline = v.boolVal != 0;
  if (get(kStrikethrough, VT_BOOL, &v)) d.strikethrough = v.boolVal != 0;
  return d;
}

}  // namespace qel::view
