// The batch chain: its XML checked before anything runs, each channel run
// through the chain exactly as through the processors one after another, and
// the published schema naming what the component accepts.
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <string>

#include "batch/chain.h"
#include "batch/vocabulary.h"
#include "processors.h"

namespace qel::effects {
namespace {

std::vector<uint8_t> Stereo16(const std::vector<int16_t>& left, const std::vector<int16_t>& right) {
  std::vector<uint8_t> bytes(left.size() * 4);
  for (size_t i = 0; i < left.size(); ++i) {
    std::memcpy(&bytes[i * 4], &left[i], 2);
    std::memcpy(&bytes[i * 4 + 2], &right[i], 2);
  }
  return bytes;
}

std::vector<int16_t> Channel(const std::vector<uint8_t>& bytes, int channel) {
  std::vector<int16_t> out(bytes.size() / 4);
  for (size_t i = 0; i < out.size(); ++i)
    std::memcpy(&out[i], &bytes[i * 4 + channel * 2], 2);
  return out;
}

std::vector<int16_t> Tone(size_t n, double step, double level) {
  std::vector<int16_t> out(n);
  for (size_t i = 0; i < n; ++i)
    out[i] = static_cast<int16_t>(std::lround(std::sin(i * step) * level));
  return out;
}

bool Accepts(FrameProcessor& batch, const char16_t* xml) {
  return batch.SetParam(1, std::u16string(xml));
}

TEST(BatchChain, AChainEqualsItsEffectsAppliedOneAfterAnother) {
  const std::vector<int16_t> left = Tone(20000, 0.03, 9000), right = Tone(20000, 0.11, 7000);
  auto batch = MakeBatch();
  ASSERT_TRUE(Accepts(*batch,
                      u"<effects><amplify percent='150'/><highpass frequency='500'/>"
                      u"<invert/></effects>"));
  batch->Start({44100, 2, 16});
  std::vector<uint8_t> out, part;
  const std::vector<uint8_t> in = Stereo16(left, right);
  for (size_t at = 0; at < in.size(); at += 4 * 4410) {
    part.clear();
    const size_t n = std::min<size_t>(4 * 4410, in.size() - at);
    batch->Process({in.data() + at, n}, at + n == in.size(), part);
    out.insert(out.end(), part.begin(), part.end());
  }
  ASSERT_EQ(out.size(), in.size());
  // The same by hand, in doubles, for the left channel.
  auto amplify = MakeAmplify(), filter = MakeFilter(), invert = MakeInvert();
  amplify->SetParam(1, 150.0);
  filter->SetParam(3, 2.0);
  filter->SetParam(1, 500.0);
  const StreamSetup setup{44100, 16, 32768};
  amplify->Start(setup);
  filter->Start(setup);
  invert->Start(setup);
  std::vector<double> x(left.begin(), left.end()), a, b, c;
  amplify->Process(x, {0, 0, true}, a);
  filter->Process(a, {0, 0, true}, b);
  invert->Process(b, {0, 0, true}, c);
  const std::vector<int16_t> got = Channel(out, 0);
  int worst = 0;
  for (size_t i = 0; i < got.size(); ++i) {
    const double want = std::clamp(std::trunc(c[i]), -32767.0, 32767.0);
    worst = std::max(worst, std::abs(got[i] - static_cast<int>(want)));
  }
  EXPECT_LE(worst, 1);  // block boundaries may move a truncation by one step
}

TEST(BatchChain, RefusesWhatItDoesNotKnowAndSaysWhy) {
  auto batch = MakeBatch();
  EXPECT_FALSE(Accepts(*batch, u"<effects><amplify percent='150'></effects>"));
  EXPECT_FALSE(Accepts(*batch, u"<effects><warp factor='2'/></effects>"));
  EXPECT_NE(batch->Problem().find("unknown effect <warp>"), std::string::npos);
  EXPECT_FALSE(Accepts(*batch, u"<effects><amplify/></effects>"));
  EXPECT_FALSE(Accepts(*batch, u"<effects><amplify percent='150' gain='2'/></effects>"));
  EXPECT_FALSE(Accepts(*batch, u"<effects><delay time='20000' mix='50'/></effects>"));
  EXPECT_FALSE(Accepts(*batch, u"<effects><amplify percent='loud'/></effects>"));
  EXPECT_FALSE(Accepts(*batch, u"<chain><amplify percent='150'/></chain>"));
  EXPECT_FALSE(Accepts(*batch, u"<effects/>"));
}

TEST(BatchChain, ARefusedListLeavesTheAcceptedOneInForce) {
  auto batch = MakeBatch();
  ASSERT_TRUE(Accepts(*batch, u"<effects><amplify percent='200'/></effects>"));
  EXPECT_FALSE(Accepts(*batch, u"<effects><amplify/></effects>"));
  batch->Start({8000, 1, 16});
  const int16_t sample = 1000;
  std::vector<uint8_t> in(2), out;
  std::memcpy(in.data(), &sample, 2);
  batch->Process(in, true, out);
  int16_t got = 0;
  std::memcpy(&got, out.data(), 2);
  EXPECT_EQ(got, 2000);
}

TEST(BatchChain, TheSchemaNamesEveryElementAndAttributeTheComponentTakes) {
  pugi::xml_document schema;
  ASSERT_TRUE(schema.load_file(QEL_BATCH_SCHEMA));
  std::set<std::string> elements, attributes;
  for (const pugi::xpath_node& n : schema.select_nodes("//*[local-name()='element']"))
    elements.insert(n.node().attribute("name").value());
  for (const pugi::xpath_node& n : schema.select_nodes("//*[local-name()='attribute']"))
    attributes.insert(n.node().attribute("name").value());
  for (const batch::Element& e : batch::Elements()) {
    EXPECT_TRUE(elements.count(std::string(e.name))) << e.name;
    for (const batch::Attribute& a : e.attributes)
      EXPECT_TRUE(attributes.count(std::string(a.name))) << e.name << "/" << a.name;
  }
  EXPECT_EQ(elements.size(), batch::Elements().size() + 1);  // and <effects>
}

}  // namespace
}  // namespace qel::effects
