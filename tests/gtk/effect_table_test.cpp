// The editor's effect table against the control's Transform interface, and the
// arguments its dialogs build: no display needed.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "com/safearray.h"
#include "core/surface.h"
#include "effect_arguments.h"
#include "effect_table.h"

namespace qel::gtkhost {
namespace {

const com::DispEntry* TransformMethod(std::u16string_view name) {
  for (const com::DispEntry& entry : IEditorTransform::DispatchTable().entries)
    if (entry.kind == com::MemberKind::Method && name == entry.name) return &entry;
  return nullptr;
}

std::vector<FieldValue> InitialFields(std::span<const EffectParameter> parameters,
                                      int32_t channels = 2) {
  std::vector<FieldValue> fields;
  for (const EffectParameter& p : parameters)
    fields.push_back(InitialField(p, channels));
  return fields;
}

std::string Ascii(std::u16string_view name) {
  return std::string(name.begin(), name.end());
}

std::string Name(const Effect& e) {
  return std::string(e.id);
}

// ---- the table and the interface ----

TEST(EffectTable, EveryRowNamesATransformMethodWithAsManyParameters) {
  for (const Effect& e : kEffects) {
    const com::DispEntry* method = TransformMethod(e.member);
    ASSERT_NE(method, nullptr) << Name(e);
    EXPECT_EQ(method->paramCount, e.parameters.size()) << Name(e);
  }
}

TEST(EffectTable, TheDefaultArgumentsOfEveryRowHaveTheTypesTheMethodDeclares) {
  for (const Effect& e : kEffects) {
    const com::DispEntry* method = TransformMethod(e.member);
    ASSERT_NE(method, nullptr) << Name(e);
    const EffectArguments built = BuildArguments(e.parameters, InitialFields(e.parameters), 2);
    ASSERT_EQ(built.error, "") << Name(e);
    ASSERT_EQ(built.values.size(), method->paramCount) << Name(e);
    for (size_t k = 0; k < built.values.size(); ++k)
      EXPECT_EQ(built.values[k].vt, method->params[k].vt & ~com::VT_BYREF)
          << Name(e) << " parameter " << k + 1;
  }
}

TEST(EffectTable, EveryTransformMethodHasARowButTheBatchAndTheTempoReadBack) {
  // A batch is XML written by a program, and GetBPM is read after BPMAnalyse.
  const std::set<std::u16string> exceptions{u"BatchProcess", u"GetBPM"};
  std::set<std::u16string> rows;
  for (const Effect& e : kEffects)
    rows.emplace(e.member);
  for (const com::DispEntry& entry : IEditorTransform::DispatchTable().entries) {
    if (entry.kind != com::MemberKind::Method || exceptions.count(entry.name)) continue;
    EXPECT_TRUE(rows.count(entry.name)) << Ascii(entry.name);
  }
  EXPECT_EQ(
      rows.size() + exceptions.size(),
      std::count_if(IEditorTransform::DispatchTable().entries.begin(),
                    IEditorTransform::DispatchTable().entries.end(),
                    [](const com::DispEntry& d) { return d.kind == com::MemberKind::Method; }));
}

TEST(EffectTable, ActionTargetsAreUnique) {
  std::set<std::string_view> ids;
  for (const Effect& e : kEffects)
    EXPECT_TRUE(ids.insert(e.id).second) << Name(e);
}

TEST(EffectTable, ChoicesStartOnAListedValue) {
  for (const Effect& e : kEffects)
    for (const EffectParameter& p : e.parameters) {
      if (p.kind != ParameterKind::kChoice) continue;
      const FieldValue field = InitialField(p, 1);
      EXPECT_EQ(p.choices[static_cast<size_t>(field.choice)].value, static_cast<int32_t>(p.initial))
          << Name(e) << ": " << p.label;
    }
}

// ---- lists typed as text ----

std::vector<double> ArrayValues(const com::VARIANT& v) {
  std::vector<double> values;
  const com::SAFEARRAY* a = v.parray;
  for (uint64_t k = 0; a && k < com::SafeArrayElementCount(a); ++k)
    values.push_back(v.vt == (com::VT_ARRAY | com::VT_R8)
                         ? static_cast<const double*>(a->pvData)[k]
                         : static_cast<const int32_t*>(a->pvData)[k]);
  return values;
}

EffectArguments Equalizer(const std::string& gains, const std::string& frequencies) {
  std::vector<FieldValue> fields = InitialFields(kEqualizerParameters);
  fields[0].text = gains;
  fields[1].text = frequencies;
  return BuildArguments(kEqualizerParameters, fields, 1);
}

TEST(EffectLists, NumbersSeparatedByCommasOrSpacesBecomeAnArrayInOrder) {
  const EffectArguments built = Equalizer("6, -6.5 +3", "250 1000,4000");
  ASSERT_EQ(built.error, "");
  EXPECT_EQ(ArrayValues(built.values[0]), (std::vector<double>{6, -6.5, 3}));
  EXPECT_EQ(ArrayValues(built.values[1]), (std::vector<double>{250, 1000, 4000}));
}

TEST(EffectLists, AMalformedListIsRefusedWithAMessageNamingTheFieldAndNothingIsBuilt) {
  for (const char* bad : {"6, loud", "6,,3", "6, 3,", ", 6", "1e999", "nan"}) {
    const EffectArguments built = Equalizer(bad, "250, 1000");
    EXPECT_TRUE(built.values.empty()) << bad;
    EXPECT_NE(built.error.find("Gains (dB)"), std::string::npos) << bad << ": " << built.error;
  }
  EXPECT_NE(Equalizer("6, loud", "1, 2").error.find("\"loud\" is not a number"), std::string::npos);
}

TEST(EffectLists, PairedListsOfDifferentLengthsAreRefused) {
  const EffectArguments built = Equalizer("6, -6", "250, 1000, 4000");
  EXPECT_TRUE(built.values.empty());
  EXPECT_NE(built.error.find("as many values"), std::string::npos) << built.error;
}

TEST(EffectLists, AValueOutsideTheParametersRangeIsRefused) {
  EXPECT_NE(Equalizer("6", "0").error.find("outside"), std::string::npos);
}

TEST(EffectLists, AnEmptyListIsAnEmptyArray) {
  std::vector<FieldValue> fields = InitialFields(kFirFilterParameters);
  ASSERT_EQ(fields[2].text, "");  // the weights
  const EffectArguments built = BuildArguments(kFirFilterParameters, fields, 1);
  ASSERT_EQ(built.error, "");
  EXPECT_EQ(built.values[2].vt, com::VT_ARRAY | com::VT_R8);
  EXPECT_TRUE(ArrayValues(built.values[2]).empty());
}

TEST(EffectLists, AListOfWholeNumbersRefusesAFraction) {
  std::vector<FieldValue> fields = InitialFields(kGenerateDtmfParameters);
  fields[6].text = "697, 1209.5";
  EXPECT_NE(BuildArguments(kGenerateDtmfParameters, fields, 1).error.find("whole number"),
            std::string::npos);
  fields[6].text = "697, 1209";
  const EffectArguments built = BuildArguments(kGenerateDtmfParameters, fields, 1);
  ASSERT_EQ(built.error, "");
  EXPECT_EQ(ArrayValues(built.values[6]), (std::vector<double>{697, 1209}));
}

// ---- the channel gains ----

TEST(EffectGainMatrix, StartsByKeepingEveryChannel) {
  EXPECT_EQ(InitialField(kMixChannelsParameters[0], 2).text, "100, 0, 0, 100");
}

TEST(EffectGainMatrix, RowsOfTheDocumentsChannelsFillTheControlsMatrixByOutputAndInput) {
  std::vector<FieldValue> fields{{.text = "0, 100, 50, 25"}};  // left <- right; right <- both
  const EffectArguments built = BuildArguments(kMixChannelsParameters, fields, 2);
  ASSERT_EQ(built.error, "");
  const com::SAFEARRAY* a = built.values[0].parray;
  ASSERT_EQ(com::SafeArrayGetDim(a), 2u);
  ASSERT_EQ(com::SafeArrayElementCount(a), 18u * 18u);
  std::vector<double> expected(18 * 18, 0.0);
  expected[0 * 18 + 1] = 100;
  expected[1 * 18 + 0] = 50;
  expected[1 * 18 + 1] = 25;
  EXPECT_EQ(ArrayValues(built.values[0]), expected);
}

TEST(EffectGainMatrix, AWrongCountForTheChannelsIsRefused) {
  std::vector<FieldValue> fields{{.text = "100, 0, 0"}};
  const EffectArguments built = BuildArguments(kMixChannelsParameters, fields, 2);
  EXPECT_TRUE(built.values.empty());
  EXPECT_NE(built.error.find("2 channels take 4 values"), std::string::npos) << built.error;
}

// ---- other kinds ----

TEST(EffectArgumentsKinds, AChoicePassesItsListedValueNotItsPlace) {
  std::vector<FieldValue> fields = InitialFields(kFftFilterParameters);
  fields[2].choice = 0;  // the first FFT size
  const EffectArguments built = BuildArguments(kFftFilterParameters, fields, 1);
  ASSERT_EQ(built.error, "");
  EXPECT_EQ(built.values[2].lVal, 256);
}

TEST(EffectArgumentsKinds, TextTravelsAsUtf16) {
  std::vector<FieldValue> fields = InitialFields(kNoiseRemoveParameters);
  fields[2].text = "/tmp/bruit\xc3\xa9.wav";
  const EffectArguments built = BuildArguments(kNoiseRemoveParameters, fields, 1);
  ASSERT_EQ(built.error, "");
  EXPECT_EQ(std::u16string_view(built.values[2].bstrVal), u"/tmp/bruit\u00e9.wav");
}

}  // namespace
}  // namespace qel::gtkhost
