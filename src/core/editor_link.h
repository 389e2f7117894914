// The back-pointer every sub-object holds to the control that owns it. The
// control clears it when it goes away, so a host that keeps a sub-object longer
// finds it detached, not dangling.
#pragma once

namespace qel {

class CAudioEditor;

class EditorLink {
 public:
  void SetEditor(CAudioEditor* editor) { editor_ = editor; }
  CAudioEditor* Editor() const { return editor_; }

 private:
  CAudioEditor* editor_ = nullptr;
};

}  // namespace qel
