#include "platform/ptr_list.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// The stored values front to back, checking the links both ways against the count.
std::vector<intptr_t> Contents(const CPtrList& list) {
    std::vector<intptr_t> out;
    const CPtrList::Node* prev = nullptr;
    for (const CPtrList::Node* node = list.head; node != nullptr; node = node->next) {
        EXPECT_EQ(node->prev, prev);
        out.push_back(reinterpret_cast<intptr_t>(node->data));
        prev = node;
    }
    EXPECT_EQ(list.tail, prev);
    EXPECT_EQ(static_cast<size_t>(list.count), out.size());
    return out;
}

void* P(intptr_t v) { return reinterpret_cast<void*>(v); }

}  // namespace

TEST(PtrList, PushInsertAndGetKeepTheLinksConsistent) {
    CPtrList list;
    void* data = P(99);
    EXPECT_EQ(list.GetAt(0, &data), 0);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(list.GetAt(-1, &data), 0) << "an empty list has no head to return";
    EXPECT_EQ(list.InsertAt(1, P(1)), 0);
    EXPECT_EQ(list.InsertAt(-1, P(1)), 0);
    EXPECT_EQ(list.InsertAt(0, P(2)), 1);
    EXPECT_EQ(list.PushBack(P(4)), 1);
    EXPECT_EQ(list.PushFront(P(1)), 1);
    EXPECT_EQ(list.InsertAt(2, P(3)), 1);
    EXPECT_EQ(list.InsertAt(4, P(5)), 1) << "index == count appends";
    EXPECT_EQ(list.InsertAt(6, P(7)), 0) << "count + 1 fails";
    EXPECT_EQ(Contents(list), (std::vector<intptr_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(list.GetAt(3, &data), 1);
    EXPECT_EQ(data, P(4));
    EXPECT_EQ(list.GetAt(-5, &data), 1);
    EXPECT_EQ(data, P(1));
    EXPECT_EQ(list.GetAt(5, &data), 0);
    EXPECT_EQ(data, nullptr);

    list.RemoveAll();
    EXPECT_EQ(list.head, nullptr);
    EXPECT_EQ(list.tail, nullptr);
    EXPECT_EQ(list.count, 0);
    EXPECT_EQ(list.PushBack(P(8)), 1);
    EXPECT_EQ(Contents(list), (std::vector<intptr_t>{8}));
    list.RemoveAll();
}
