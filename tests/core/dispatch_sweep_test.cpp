// Late binding with whatever a script may send. Every member of the control and
// of each sub-object it hands out is invoked with argument lists of every
// length and of mixed types and with every call flag, on an empty control and
// on an open document; names and identifiers the control does not have are
// asked for too. Nothing may crash, leak or hang, and every call answers with a
// result code (under the sanitizer build this is the dispatcher's fuzz run).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "com/classtable.h"
#include "core/surface.h"

namespace qel {
namespace {

using namespace com;

constexpr uint16_t kFlags[] = {DISPATCH_METHOD, DISPATCH_PROPERTYGET, DISPATCH_PROPERTYPUT,
                               DISPATCH_METHOD | DISPATCH_PROPERTYGET};

// Members whose purpose is to wait for or to hand over to something outside
// the process: a random call of them would only test the machine's devices.
bool Skipped(std::u16string_view name) {
  return name == u"Play" || name == u"Record" || name == u"PropertyPage";
}

// A value of a random type: the kinds a script's variables hold, with the
// edge values of each.
Variant RandomValue(std::mt19937& rng) {
  static const int32_t ints[] = {0,
                                 1,
                                 -1,
                                 7,
                                 100,
                                 44100,
                                 std::numeric_limits<int32_t>::max(),
                                 std::numeric_limits<int32_t>::min()};
  static const double reals[] = {0.0, 0.5, -1.0, 1e300, -1e300, std::nan(""), 1e9};
  // Names that lead nowhere: a random call must not write into the working folder.
  static const std::u16string texts[] = {u"", u"/nonexistent/qel/sweep.wav",
                                         u"/nonexistent/" + std::u16string(3000, u'a'),
                                         u"<effects><amplify percent=\"50\"/></effects>"};
  switch (rng() % 6) {
    case 0:
      return Variant();
    case 1:
      return Variant::I4(ints[rng() % std::size(ints)]);
    case 2:
      return Variant::R8(reals[rng() % std::size(reals)]);
    case 3:
      return Variant::Str(texts[rng() % std::size(texts)]);
    case 4:
      return Variant::Bool(rng() % 2 == 0);
    default:
      return Variant::I8(static_cast<int64_t>(rng()) << 20);
  }
}

HRESULT InvokeRandom(IDispatch* object, DISPID id, std::mt19937& rng, Variant* result) {
  const uint16_t flags = kFlags[rng() % std::size(kFlags)];
  std::vector<Variant> args(rng() % (kMaxParams + 2));
  for (Variant& a : args)
    a = RandomValue(rng);
  DISPID put = DISPID_PROPERTYPUT;
  const bool isPut = flags & DISPATCH_PROPERTYPUT;
  if (isPut && args.empty()) args.push_back(RandomValue(rng));
  DISPPARAMS params{args.data(), isPut ? &put : nullptr, static_cast<uint32_t>(args.size()),
                    isPut ? 1u : 0u};
  EXCEPINFO excep{};
  uint32_t argErr = 0;
  const HRESULT hr = object->Invoke(id, GUID_NULL, 0, flags, &params, result, &excep, &argErr);
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrHelpFile);
  return hr;
}

// The table of the first generated interface the object answers to.
const DispTable* TableOf(IUnknown* object) {
  for (const DispTable* table : SurfaceTables()) {
    if (table->outgoing) continue;
    ComPtr<IUnknown> probe;
    if (Succeeded(object->QueryInterface(table->iid, probe.OutVoid()))) return table;
  }
  return nullptr;
}

// Every member of `object`, `rounds` random calls each; sub-objects a property
// get hands out are swept too (once each, by table).
void Sweep(IDispatch* object, std::mt19937& rng, int rounds, std::vector<const DispTable*>& seen) {
  // Objects of standard types (a font, a picture) have no table of ours.
  const DispTable* table = TableOf(object);
  if (!table) return;
  for (const DispTable* t : seen)
    if (t == table) return;
  seen.push_back(table);
  for (const DispEntry& entry : table->entries) {
    if (Skipped(entry.name)) continue;
    if (entry.kind == MemberKind::PropGet && entry.paramCount == 1) {
      // A plain get first, so that every sub-object is reached.
      Variant result;
      DISPPARAMS none{nullptr, nullptr, 0, 0};
      object->Invoke(entry.id, GUID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr,
                     nullptr);
      if (result.vt == VT_DISPATCH && result.pdispVal) Sweep(result.pdispVal, rng, rounds, seen);
    }
    for (int round = 0; round < rounds; ++round) {
      Variant result;
      InvokeRandom(object, entry.id, rng, &result);
    }
  }
  // Identifiers and names the object does not have.
  for (int round = 0; round < rounds; ++round) {
    Variant result;
    EXPECT_TRUE(Failed(InvokeRandom(object, static_cast<DISPID>(rng()), rng, &result)));
  }
  std::u16string name(rng() % 40, u'x');
  for (char16_t& c : name)
    c = static_cast<char16_t>(u'A' + rng() % 58);
  OLECHAR* names[] = {name.data()};
  DISPID id = 0;
  object->GetIDsOfNames(GUID_NULL, names, 1, 0, &id);
}

ComPtr<IDispatch> CreateControl() {
  ComPtr<IDispatch> control;
  EXPECT_EQ(CoCreateInstance(CLSID_AudioEditor, nullptr, CLSCTX_INPROC_SERVER, IDispatch::kIID,
                             control.OutVoid()),
            S_OK);
  return control;
}

TEST(DispatchSweep, RandomCallsToAnEmptyControlAllAnswer) {
  for (uint32_t seed = 1; seed <= 3; ++seed) {
    std::mt19937 rng(seed);
    ComPtr<IDispatch> control = CreateControl();
    std::vector<const DispTable*> seen;
    Sweep(control.get(), rng, 4, seen);
    EXPECT_GT(seen.size(), 5u) << "the sub-objects were reached";
  }
}

TEST(DispatchSweep, RandomCallsToAControlHoldingADocumentAllAnswer) {
  for (uint32_t seed = 11; seed <= 13; ++seed) {
    std::mt19937 rng(seed);
    ComPtr<IAudioEditor> editor;
    ASSERT_EQ(CoCreateInstance(CLSID_AudioEditor, nullptr, CLSCTX_INPROC_SERVER, IAudioEditor::kIID,
                               editor.OutVoid()),
              S_OK);
    ASSERT_EQ(editor->New(8000, 2, 16, 3), S_OK);
    ComPtr<IDispatch> control;
    ASSERT_EQ(editor->QueryInterface(IDispatch::kIID, control.OutVoid()), S_OK);
    std::vector<const DispTable*> seen;
    Sweep(control.get(), rng, 4, seen);
  }
}

// Found by the dispatcher's fuzzer: a bitmap parameter is a pointer, so a call
// may leave it out; that must mean "no picture", not a null dereference.
TEST(DispatchSweep, ABitmapLeftOutOfTheCallIsTakenAsNone) {
  ComPtr<IDispatch> control = CreateControl();
  for (const char16_t* member : {u"SetSpectralBitmap", u"SetDarkBitmap"}) {
    OLECHAR* names[] = {const_cast<OLECHAR*>(member)};
    DISPID id = 0;
    ASSERT_EQ(control->GetIDsOfNames(GUID_NULL, names, 1, 0, &id), S_OK);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    Variant result;
    EXPECT_EQ(control->Invoke(id, GUID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr),
              S_OK);
  }
}

}  // namespace
}  // namespace qel
