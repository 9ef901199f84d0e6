#include "platform/ptr_list.h"

#include <new>

int32_t CPtrList::PushFront(void* data) {
    Node* node = new (std::nothrow) Node{nullptr, head, data};
    if (node == nullptr) return 0;
    if (head != nullptr) {
        head->prev = node;
    } else {
        tail = node;
    }
    head = node;
    ++count;
    return 1;
}

int32_t CPtrList::PushBack(void* data) {
    Node* node = new (std::nothrow) Node{tail, nullptr, data};
    if (node == nullptr) return 0;
    if (tail != nullptr) {
        tail->next = node;
    } else {
        head = node;
    }
    tail = node;
    ++count;
    return 1;
}

int32_t CPtrList::InsertAt(int32_t index, void* data) {
    if (index < 0 || index > count) return 0;
    if (index == 0) return PushFront(data);
    if (index == count) return PushBack(data);
    Node* at = head;
    for (int32_t i = 0; i < index; ++i) at = at->next;
    Node* node = new (std::nothrow) Node{at->prev, at, data};
    if (node == nullptr) return 0;
    at->prev->next = node;
    at->prev = node;
    ++count;
    return 1;
}

int32_t CPtrList::GetAt(int32_t index, void** data) const {
    *data = nullptr;
    if (index >= count || head == nullptr) return 0;
    const Node* at = head;
    for (int32_t i = 0; i < index; ++i) at = at->next;
    *data = at->data;
    return 1;
}

void CPtrList::RemoveAll() {
    while (tail != nullptr) {
        Node* prev = tail->prev;
        delete tail;
        tail = prev;
    }
    head = nullptr;
    count = 0;
}
