// The font object of the scales: a small automation object with the standard
// font properties (Name, Size, Bold, Italic, Underline, Strikethrough, Weight,
// Charset) under the standard font dispatch identifiers, reachable late-bound
// through IFontDisp. Size is in points, carried as a double. The scale that
// holds the font listens for changes, so `ScaleX.Font.Size = 9` lays the view
// out again like a put of a new font would.
#pragma once

#include <string>
#include <vector>

#include "com/dispatch.h"
#include "core/surface.h"
#include "view/view_source.h"

namespace qel::view {

// Early-bound face of the font object (the host sees IFontDisp).
struct IQelFont : IFontDisp {
  using Base = IFontDisp;
  static constexpr com::IID kIID = com::MakeGuid("{17D88289-D655-4A5C-AE73-041CEFFBF00D}");
  static const com::DispTable& DispatchTable();
  virtual com::HRESULT get_Name(com::BSTR* value) = 0;
  virtual com::HRESULT put_Name(com::BSTR value) = 0;
  virtual com::HRESULT get_Size(double* value) = 0;
  virtual com::HRESULT put_Size(double value) = 0;
  virtual com::HRESULT get_Bold(com::VARIANT_BOOL* value) = 0;
  virtual com::HRESULT put_Bold(com::VARIANT_BOOL value) = 0;
  virtual com::HRESULT get_Italic(com::VARIANT_BOOL* value) = 0;
  virtual com::HRESULT put_Italic(com::VARIANT_BOOL value) = 0;
  virtual com::HRESULT get_Underline(com::VARIANT_BOOL* value) = 0;
  virtual com::HRESULT put_Underline(com::VARIANT_BOOL value) = 0;
  virtual com::HRESULT get_Strikethrough(com::VARIANT_BOOL* value) = 0;
  virtual com::HRESULT put_Strikethrough(com::VARIANT_BOOL value) = 0;
  virtual com::HRESULT get_Weight(int16_t* value) = 0;
  virtual com::HRESULT put_Weight(int16_t value) = 0;
  virtual com::HRESULT get_Charset(int16_t* value) = 0;
  virtual com::HRESULT put_Charset(int16_t value) = 0;

 protected:
  ~IQelFont() = default;
};

// Told when a font's properties change.
class FontListener {
 public:
  virtual void FontChanged() = 0;

 protected:
  ~FontListener() = default;
};

class CFontObject final : public com::DispatchObject<CFontObject, IQelFont> {
 public:
  explicit CFontObject(FontDescription description = {}) : font_(std::move(description)) {}

  com::HRESULT get_Name(com::BSTR* value) override;
  com::HRESULT put_Name(com::BSTR value) override;
  com::HRESULT get_Size(double* value) override;
  com::HRESULT put_Size(double value) override;
  com::HRESULT get_Bold(com::VARIANT_BOOL* value) override;
  com::HRESULT put_Bold(com::VARIANT_BOOL value) override;
  com::HRESULT get_Italic(com::VARIANT_BOOL* value) override;
  com::HRESULT put_Italic(com::VARIANT_BOOL value) override;
  com::HRESULT get_Underline(com::VARIANT_BOOL* value) override;
  com::HRESULT put_Underline(com::VARIANT_BOOL value) override;
  com::HRESULT get_Strikethrough(com::VARIANT_BOOL* value) override;
  com::HRESULT put_Strikethrough(com::VARIANT_BOOL value) override;
  com::HRESULT get_Weight(int16_t* value) override;
  com::HRESULT put_Weight(int16_t value) override;
  com::HRESULT get_Charset(int16_t* value) override;
  com::HRESULT put_Charset(int16_t value) override;

  const FontDescription& Description() const { return font_; }
  void SetDescription(const FontDescription& description);
  void AddListener(FontListener* listener);
  void RemoveListener(FontListener* listener);

 private:
  void Changed();

  FontDescription font_;
  int16_t charset_ = 0;
  std::vector<FontListener*> listeners_;  // not owned; they remove themselves
};

// What any IFontDisp describes: ours directly, a foreign one through its
// standard dispatch identifiers.
FontDescription DescribeFont(IFontDisp* font);

}  // namespace qel::view
