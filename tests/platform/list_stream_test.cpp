// Lists with stable links, little-endian streams, file queries and the fatal error.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/list.h"
#include "platform/runtime.h"
#include "platform/stream.h"

namespace {

struct Item {
  int id;
};
using ItemList = TList<Item>;

std::vector<int> Ids(const ItemList& list) {
  std::vector<int> out;
  for (const auto& v : list) out.push_back(v->id);
  return out;
}

TEST(List, LinksInsertAndRemove) {
  ItemList list;
  auto a = list.AddLast(std::make_shared<Item>(Item{1}));
  auto c = list.AddLast(std::make_shared<Item>(Item{3}));
  list.InsertBeforeLink(std::make_shared<Item>(Item{2}), c.get());
  list.InsertAfterLink(std::make_shared<Item>(Item{4}), c.get());
  list.AddFirst(std::make_shared<Item>(Item{0}));
  list.InsertBeforeLink(std::make_shared<Item>(Item{5}), nullptr);  // null: at the end
  list.InsertAfterLink(std::make_shared<Item>(Item{-1}), nullptr);  // null: at the front
  EXPECT_EQ(Ids(list), (std::vector<int>{-1, 0, 1, 2, 3, 4, 5}));

  list.RemoveLink(a.get());
  list.RemoveLink(a.get());  // twice is harmless
  EXPECT_EQ(Ids(list), (std::vector<int>{-1, 0, 2, 3, 4, 5}));
  EXPECT_EQ(list.Count(), 6u);
  EXPECT_EQ(list.ValueAtIndex(2)->id, 2);
  EXPECT_EQ(list.ValueAtIndex(9), nullptr);
}

TEST(List, EnumerationSurvivesRemoval) {
  ItemList list;
  std::vector<std::shared_ptr<Item>> items;
  for (int i = 0; i < 6; ++i) items.push_back(std::make_shared<Item>(Item{i}));
  for (auto& it : items) list.AddLast(it);
  // Remove the current element, and the next one too, while walking.
  std::vector<int> seen;
  for (const auto& v : list) {
    const int id = v->id;
    seen.push_back(id);
    if (id % 3 == 0) {
      list.Remove(items[size_t(id)].get());
      if (id + 1 < 6) list.Remove(items[size_t(id) + 1].get());
    }
  }
  EXPECT_EQ(seen, (std::vector<int>{0, 2, 3, 5}));
  EXPECT_EQ(Ids(list), (std::vector<int>{2, 5}));
  list.Clear();
  EXPECT_TRUE(list.IsEmpty());
  EXPECT_EQ(list.First(), nullptr);
}

// Reading by index remembers the last link read: after every kind of change each
// index still gives what a walk from the head would, and reading the indices in
// order, forwards or backwards, steps one link per read.
TEST(List, IndexedReadsFollowEveryChange) {
  ItemList list;
  std::vector<std::shared_ptr<Item>> model;
  std::vector<ItemList::LinkPtr> links;  // parallel to model
  int next_id = 0;
  auto make = [&] { return std::make_shared<Item>(Item{next_id++}); };
  for (int i = 0; i < 200; ++i) {
    model.push_back(make());
    links.push_back(list.AddLast(model.back()));
  }
  auto expect_all = [&](const std::string& after) {
    ASSERT_EQ(list.Count(), model.size()) << after;
    const uint64_t before = ItemList::links_indexed;
    for (size_t i = 0; i < model.size(); ++i) ASSERT_EQ(list.ValueAtIndex(i), model[i]) << after << ", index " << i;
    EXPECT_LE(ItemList::links_indexed - before, model.size()) << after << ": forwards";
    const uint64_t middle = ItemList::links_indexed;
    for (size_t i = model.size(); i-- > 0;) ASSERT_EQ(list.ValueAtIndex(i), model[i]) << after << ", index " << i;
    EXPECT_LE(ItemList::links_indexed - middle, model.size()) << after << ": backwards";
    EXPECT_EQ(list.ValueAtIndex(model.size()), nullptr) << after;
  };
  // Each change follows a read near the place it touches, so a stale memory shows.
  const struct {
    const char* what;
    size_t at;  // where the change lands (clamped to the list)
    std::function<void(size_t)> change;
  } changes[] = {
      {"append", 199, [&](size_t) { model.push_back(make()), links.push_back(list.AddLast(model.back())); }},
      {"prepend", 0,
       [&](size_t) { model.insert(model.begin(), make()), links.insert(links.begin(), list.AddFirst(model.front())); }},
      {"insert before", 50,
       [&](size_t at) {
         model.insert(model.begin() + long(at), make());
         links.insert(links.begin() + long(at), list.InsertBeforeLink(model[at], links[at].get()));
       }},
      {"insert after", 60,
       [&](size_t at) {
         model.insert(model.begin() + long(at) + 1, make());
         links.insert(links.begin() + long(at) + 1, list.InsertAfterLink(model[at + 1], links[at].get()));
       }},
      {"remove the link read last", 70,
       [&](size_t at) {
         list.RemoveLink(links[at].get());
         model.erase(model.begin() + long(at)), links.erase(links.begin() + long(at));
       }},
      {"remove before the link read last", 10,
       [&](size_t at) {
         list.Remove(model[at].get());
         model.erase(model.begin() + long(at)), links.erase(links.begin() + long(at));
       }},
      {"remove the last", 1000,
       [&](size_t at) {
         list.RemoveLink(links[at].get());
         model.pop_back(), links.pop_back();
       }},
      {"clear and refill", 0,
       [&](size_t) {
         list.Clear();
         model.clear(), links.clear();
         for (int i = 0; i < 5; ++i) model.push_back(make()), links.push_back(list.AddLast(model.back()));
       }},
  };
  for (const auto& c : changes) {
    const size_t at = std::min(c.at, model.size() - 1);
    list.ValueAtIndex(at);
    c.change(at);
    for (size_t i : {at, at + 1, at - 1}) {
      if (i >= model.size()) continue;
      ASSERT_EQ(list.ValueAtIndex(i), model[i]) << c.what << ", index " << i;
    }
    expect_all(c.what);
  }
}

TEST(List, LongListDestroysWithoutRecursion) {
  auto list = std::make_unique<ItemList>();
  auto item = std::make_shared<Item>(Item{0});
  for (int i = 0; i < 1000000; ++i) list->AddLast(item);
  list.reset();
  EXPECT_EQ(item.use_count(), 1);
}

TEST(Stream, LittleEndianReadsAndEnd) {
  std::vector<uint8_t> bytes = {0x42, 0x01, 0x02, 0x03, 0x84};
  float f = -1.5f;
  uint8_t fb[4];
  std::memcpy(fb, &f, 4);
  bytes.insert(bytes.end(), fb, fb + 4);
  for (int i = 0; i < 8; ++i) bytes.push_back(uint8_t(i == 7 ? 0x80 : i));
  auto s = TStream::FromMemory(bytes);
  EXPECT_EQ(s->ReadByte(), 0x42);
  EXPECT_EQ(s->ReadInt(), int32_t(0x84030201u));
  EXPECT_EQ(s->ReadFloat(), -1.5f);
  EXPECT_EQ(s->ReadLong(), int64_t(0x8006050403020100ull));
  EXPECT_TRUE(s->Eof());
  EXPECT_FALSE(s->Overrun());
  // Past the end: zeros, and the overrun is remembered.
  EXPECT_EQ(s->ReadInt(), 0);
  EXPECT_TRUE(s->Overrun());
  EXPECT_EQ(s->Seek(-5), 0);
  EXPECT_EQ(s->Seek(1000), s->Size());
  s->Seek(1);
  EXPECT_EQ(s->BytesLeft(), s->Size() - 1);
}

TEST(Stream, FilesAndDirectories) {
  const std::string dir = CurrentDir();
  EXPECT_EQ(FileType(dir), kFileDirectory);
  EXPECT_EQ(TStream::OpenFile(dir), nullptr);
  EXPECT_EQ(TStream::OpenFile(dir + "/no-such-file"), nullptr);
  EXPECT_EQ(FileType(""), kFileNone);

  const std::string path = dir + "/stream_test.bin";
  std::ofstream(path, std::ios::binary) << "ABCD";
  EXPECT_EQ(FileType(path), kFileRegular);
  auto s = TStream::OpenFile(path);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->ReadInt(), 0x44434241);
  std::remove(path.c_str());

  EXPECT_FALSE(ChangeDir(dir + "/no-such-dir"));
  EXPECT_TRUE(ChangeDir(dir));
}

TEST(Runtime, FatalErrorMessageAndStatus) {
  SetFatalHandler(ThrowFatalError);
  try {
    RuntimeError("Invalid b3d file");
    FAIL() << "returned";
  } catch (const FatalError& e) {
    EXPECT_STREQ(e.what(), "Invalid b3d file");
  }
  SetFatalHandler(nullptr);
  EXPECT_EXIT(RuntimeError("File not found"), testing::ExitedWithCode(255), "^File not found\n$");
}

}  // namespace
