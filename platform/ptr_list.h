// CPtrList: a doubly linked list of untyped pointers. The list owns its nodes, never the data
// they point to. A zeroed list is empty; the owner calls RemoveAll before dropping it.
#pragma once

#include <cstdint>

struct CPtrList {
    struct Node {
        Node* prev;
        Node* next;
        void* data;
    };

    Node* head = nullptr;
    Node* tail = nullptr;
    int32_t count = 0;

    // Each returns 1, or 0 (the list unchanged) when no node could be allocated.
    int32_t PushFront(void* data);
    int32_t PushBack(void* data);
    // Inserts so that the data ends up at position index (0 = front). 0 for an index below 0
    // or above count.
    int32_t InsertAt(int32_t index, void* data);
    // 1 and the data at index (an index below 0 gives the head's); 0 and null when index is
    // not less than count or the list is empty.
    int32_t GetAt(int32_t index, void** data) const;
    // Frees every node, tail first. The data pointers are not freed.
    void RemoveAll();
};
