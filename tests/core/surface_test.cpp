// The automation surface: every member of every interface has the dispatch
// identifier, name, accessors and vtable slot of the published list, and a
// late-bound call reaches the member in that slot.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "com/classtable.h"
#include "core/surface.h"

namespace qel {
namespace {

using namespace com;

struct Expected {
  std::string iface, member, accessors;
  DISPID id;
};

std::vector<Expected> LoadExpected() {
  std::ifstream in(QEL_EXPECTED_SURFACE);
  std::vector<Expected> out;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    Expected e;
    words >> e.iface >> e.member >> e.id >> e.accessors;
    out.push_back(e);
  }
  return out;
}

const DispTable* TableNamed(const std::string& name) {
  for (const DispTable* t : SurfaceTables())
    if (Utf16ToUtf8(t->name) == name) return t;
  return nullptr;
}

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> out;
  std::stringstream in(s);
  std::string part;
  while (std::getline(in, part, sep))
    out.push_back(part);
  return out;
}

MemberKind KindOf(const std::string& accessor) {
  if (accessor == "get") return MemberKind::PropGet;
  if (accessor == "put") return MemberKind::PropPut;
  if (accessor == "putref") return MemberKind::PropPutRef;
  return MemberKind::Method;
}

TEST(Surface, EveryMemberHasItsPublishedIdentifierKindAndPlace) {
  auto expected = LoadExpected();
  ASSERT_EQ(expected.size(), 313u);
  std::map<std::string, size_t> position;  // next table entry per interface
  std::map<std::string, int> slot;         // next vtable slot per interface
  for (const Expected& e : expected) {
    const DispTable* table = TableNamed(e.iface);
    ASSERT_NE(table, nullptr) << e.iface;
    if (!slot.count(e.iface)) slot[e.iface] = 7;  // after IUnknown and IDispatch
    for (const std::string& accessor :
         Split(e.accessors == "method" ? "method" : e.accessors, '/')) {
      size_t& at = position[e.iface];
      ASSERT_LT(at, table->entries.size()) << e.iface << "." << e.member;
      const DispEntry& entry = table->entries[at++];
      EXPECT_EQ(Utf16ToUtf8(entry.name), e.member) << e.iface;
      EXPECT_EQ(entry.id, e.id) << e.iface << "." << e.member;
      EXPECT_EQ(entry.kind, KindOf(accessor)) << e.iface << "." << e.member;
      if (!table->outgoing) {
        int want = slot[e.iface]++;
        if (e.iface == "IAudioEditor" && e.member == "GetAdditionalParam") ++slot[e.iface];
        EXPECT_EQ(entry.slot, want) << e.iface << "." << e.member;
        EXPECT_EQ(entry.abiSlot(), want) << e.iface << "." << e.member << " " << accessor;
      }
    }
  }
  for (const DispTable* t : SurfaceTables())
    EXPECT_EQ(position[Utf16ToUtf8(t->name)], t->entries.size()) << Utf16ToUtf8(t->name);
}

TEST(Surface, EveryNameResolvesToItsIdentifierThroughTheClassTable) {
  for (const Expected& e : LoadExpected()) {
    const DispTable* table = TableNamed(e.iface);
    ASSERT_NE(table, nullptr);
    std::u16string name = Utf8ToUtf16(e.member);
    OLECHAR* names[] = {name.data()};
    DISPID id = DISPID_UNKNOWN;
    ASSERT_EQ(TableGetIDsOfNames(*table, names, 1, &id), S_OK) << e.member;
    EXPECT_EQ(id, e.id) << e.iface << "." << e.member;
    // Registered under its identifier for clients that only know the IID.
    EXPECT_EQ(ClassTable::Instance().FindInterface(table->iid), table);
  }
}

TEST(Surface, ExtraSlotAfterGetAdditionalParamHasNoDispatchEntry) {
  const DispTable& t = IAudioEditor::DispatchTable();
  EXPECT_EQ(t.entries.back().slot + 1, VtableSlotOf(&IAudioEditor::EmptyClipboard));
  for (const DispEntry& e : t.entries)
    EXPECT_NE(Utf16ToUtf8(e.name), "EmptyClipboard");
}

}  // namespace
}  // namespace qel
