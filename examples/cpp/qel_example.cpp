// qel-example FILE OUT: a C++ host of the audio-editing control. It creates the
// control by ProgID, listens to its progress events, opens FILE, cuts its second
// second, converts it to 22050 Hz mono 16-bit, amplifies it to 150 % and saves
// it as a WAV file OUT.
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

#include "com/classtable.h"
#include "com/connection.h"
#include "core/surface.h"

using namespace qel;
using namespace qel::com;

namespace {

constexpr int32_t kWaveFile = 37;  // the media component's number for RIFF WAVE

// Turns a failed call into an exception carrying the control's error text.
void Check(HRESULT hr, const char* what) {
  if (Succeeded(hr)) return;
  std::string message = std::string(what) + " failed";
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.Out()) == S_OK && info) {
    Bstr description;
    info->GetDescription(description.Out());
    message += ": " + description.utf8();
  }
  char code[16];
  std::snprintf(code, sizeof code, " (0x%08X)", static_cast<unsigned>(hr));
  throw std::runtime_error(message + code);
}

// The event sink: the control calls Invoke with the identifiers of its event
// interface; this one prints the progress of long operations.
class ProgressSink final : public ComObject<ProgressSink, IDispatch> {
 public:
  HRESULT GetTypeInfoCount(uint32_t* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, OLECHAR**, uint32_t, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID id, REFIID, LCID, uint16_t, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                 uint32_t*) override {
    if (id == static_cast<DISPID>(AudioEditorEventsId::BlockOperation) && params->cArgs == 1) {
      Variant percent;
      VariantChangeType(&percent, &params->rgvarg[0], 0, VT_I4);
      std::printf("  %d %%\n", percent.lVal);
    } else if (id == static_cast<DISPID>(AudioEditorEventsId::EndOperation)) {
      std::printf("  done\n");
    }
    return S_OK;
  }
};

// Sets a property by name through IDispatch: how a host reaches an object it has
// no header for, here the media component's AudioFormat.
void PutProperty(IDispatch* object, std::u16string name, int32_t value) {
  OLECHAR* names[] = {name.data()};
  DISPID id = 0;
  Check(object->GetIDsOfNames(GUID_NULL, names, 1, 0, &id), "GetIDsOfNames");
  Variant argument = Variant::I4(value);
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{&argument, &named, 1, 1};
  Check(object->Invoke(id, GUID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr),
        "a property put");
}

// The document's current sample type as an AudioFormat object of the media
// component (whose classes the control has loaded by now).
ComPtr<IDispatch> CurrentFormat(IEditorFileInfo* info) {
  int32_t rate = 0, channels = 0, size = 0, mask = 0;
  Check(info->get_SampleRate(&rate), "SampleRate");
  Check(info->get_Channels(&channels), "Channels");
  Check(info->get_SampleSize(&size), "SampleSize");
  Check(info->get_ChannelsMask(&mask), "ChannelsMask");
  CLSID clsid{};
  Check(CLSIDFromProgID(u"QelMediaCore3.AudioFormat", &clsid), "CLSIDFromProgID");
  ComPtr<IDispatch> format;
  Check(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IDispatch::kIID, format.OutVoid()),
        "CoCreateInstance(AudioFormat)");
  PutProperty(format.get(), u"FormatTag", 1);  // integer PCM
  PutProperty(format.get(), u"SampleRate", rate);
  PutProperty(format.get(), u"Channels", channels);
  PutProperty(format.get(), u"SampleSize", size);
  PutProperty(format.get(), u"ChannelsMask", mask);
  return format;
}

// Connects a sink to the control's events for as long as it lives.
class EventConnection {
 public:
  EventConnection(IUnknown* control, IDispatch* sink) {
    ComPtr<IConnectionPointContainer> container;
    Check(control->QueryInterface(IConnectionPointContainer::kIID, container.OutVoid()),
          "QueryInterface(IConnectionPointContainer)");
    Check(container->FindConnectionPoint(IID__IAudioEditorEvents, point_.Out()),
          "FindConnectionPoint");
    Check(point_->Advise(sink, &cookie_), "Advise");
  }
  ~EventConnection() { point_->Unadvise(cookie_); }
  EventConnection(const EventConnection&) = delete;
  EventConnection& operator=(const EventConnection&) = delete;

 private:
  ComPtr<IConnectionPoint> point_;
  uint32_t cookie_ = 0;
};

void Edit(const char* file, const char* out) {
  CLSID clsid{};
  Check(CLSIDFromProgID(u"QelAudioEditor4.AudioEditor", &clsid), "CLSIDFromProgID");
  ComPtr<IAudioEditor> editor;
  Check(
      CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IAudioEditor::kIID, editor.OutVoid()),
      "CoCreateInstance");
  auto sink = ProgressSink::Create();
  EventConnection events(editor.get(), sink.get());

  std::printf("Opening %s\n", file);
  Check(editor->OpenFile(Bstr::FromUtf8(file).get(), -1, 0, 0, 0, 0, 0), "OpenFile");
  ComPtr<IEditorFileInfo> info;
  Check(editor->get_FileInfo(info.Out()), "FileInfo");
  int32_t rate = 0;
  Check(info->get_SampleRate(&rate), "SampleRate");

  // Positions count sample frames: the second second is [rate, 2 * rate).
  ComPtr<IEditorPosition> position;
  Check(editor->get_Position(position.Out()), "Position");
  Check(position->put_Selected(VARIANT_TRUE), "Selected");
  Check(position->put_StartSelect(rate), "StartSelect");
  Check(position->put_EndSelect(2 * int64_t{rate}), "EndSelect");
  std::printf("Cutting the second second\n");
  Check(editor->Cut(), "Cut");

  ComPtr<IEditorConvertSampleType> convert;
  Check(editor->get_ConvertSampleType(convert.Out()), "ConvertSampleType");
  std::printf("Converting to 22050 Hz, mono, 16-bit\n");
  Check(convert->Process(22050, 1, 16, 0), "Process");

  // Effects work on the selection: select everything.
  int64_t total = 0;
  Check(position->get_TotalSamples(&total), "TotalSamples");
  Check(position->put_StartSelect(0), "StartSelect");
  Check(position->put_EndSelect(total), "EndSelect");
  ComPtr<IEditorTransform> transform;
  Check(editor->get_Transform(transform.Out()), "Transform");
  std::printf("Amplifying to 150 %%\n");
  Check(transform->Amplify(150), "Amplify");

  // The control saves in the format the file was opened with unless the host
  // gives another: ask for the converted one.
  Check(info->put_AudioFormat(CurrentFormat(info.get()).get()), "AudioFormat");

  std::printf("Saving %s\n", out);
  Check(editor->SaveFile(Bstr::FromUtf8(out).get(), VARIANT_FALSE, 0, kWaveFile), "SaveFile");
  Bstr description;
  Check(info->get_FormatString(description.Out()), "FormatString");
  std::printf("Saved %lld frames, %s\n", static_cast<long long>(total), description.utf8().c_str());
  Check(editor->Close(), "Close");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (!std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "--help"))) {
    std::printf(
        "usage: qel-example FILE OUT\n\n"
        "Opens the audio file FILE in the audio-editing control, cuts its second\n"
        "second, converts it to 22050 Hz mono 16-bit, amplifies it to 150 %% and\n"
        "saves it as the WAV file OUT, printing the progress the control reports.\n");
    return 0;
  }
  if (argc != 3) {
    std::fprintf(stderr, "usage: qel-example FILE OUT (--help for more)\n");
    return 2;
  }
  try {
    Edit(argv[1], argv[2]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qel-example: %s\n", e.what());
    return 1;
  }
  return 0;
}
