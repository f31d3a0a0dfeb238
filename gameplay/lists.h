#pragma once
// The game's ordered lists of plain records: doubly linked, with one current-record cursor.
// A pass walks `for (T* r = ListFirst(list); r; r = ListNext(list))` and may remove the record it
// visits with ListDeleteCurrent: the previous record becomes current, so ListNext goes on with the next.
// Because every completed pass leaves the last record current, ListAdd then appends at the end.
#include <cstdint>

template <typename T> struct ListNode {
    T record{};
    ListNode* previous = nullptr;
    ListNode* next = nullptr;
};

template <typename T> struct GameList {
    ListNode<T>* first = nullptr;
    ListNode<T>* last = nullptr;
    ListNode<T>* current = nullptr;
    int32_t count = 0;
};

// Inserts a zero-filled record after the current one (at the head when none is current); it becomes current.
template <typename T> T* ListAdd(GameList<T>& list) {
    auto* node = new ListNode<T>;
    ListNode<T>* after = list.current;
    node->previous = after;
    node->next = after ? after->next : list.first;
    (node->next ? node->next->previous : list.last) = node;
    (after ? after->next : list.first) = node;
    list.current = node;
    ++list.count;
    return &node->record;
}

// The record after the current one, or the first when none is current; at the end none, the last staying current.
template <typename T> T* ListNext(GameList<T>& list) {
    ListNode<T>* next = list.current ? list.current->next : list.first;
    if (!next) return nullptr;
    list.current = next;
    return &next->record;
}

// Starts a pass: makes no record current and steps to the first.
template <typename T> T* ListFirst(GameList<T>& list) {
    list.current = nullptr;
    return ListNext(list);
}

// Removes the current record; the previous one (or none) becomes current.
template <typename T> void ListDeleteCurrent(GameList<T>& list) {
    ListNode<T>* node = list.current;
    if (!node) return;
    (node->previous ? node->previous->next : list.first) = node->next;
    (node->next ? node->next->previous : list.last) = node->previous;
    list.current = node->previous;
    --list.count;
    delete node;
}

template <typename T> void ListClear(GameList<T>& list) {
    while (list.first) {
        ListNode<T>* next = list.first->next;
        delete list.first;
        list.first = next;
    }
    list.last = list.current = nullptr;
    list.count = 0;
}
