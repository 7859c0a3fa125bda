#include "linked_list.h"

#include <cstdlib>
#include <new>

struct LinkedListElement {
    LinkedListElement* next = nullptr;
    void* data = nullptr;
    // Kept up to date on the head only, so that building a long name list stays linear.
    LinkedListElement* last = nullptr;
};

extern "C" {

LinkedList LinkedList_create(void) {
    LinkedList head = new (std::nothrow) LinkedListElement;
    if (head != nullptr) {
        head->last = head;
    }
    return head;
}

void LinkedList_add(LinkedList list, void* data) {
    if (list == nullptr) {
        return;
    }
    LinkedList element = new (std::nothrow) LinkedListElement;
    if (element == nullptr) {
        return;
    }
    element->data = data;
    LinkedList tail = list->last != nullptr ? list->last : list;
    while (tail->next != nullptr) {
        tail = tail->next;
    }
    tail->next = element;
    list->last = element;
}

LinkedList LinkedList_getNext(LinkedList element) {
    return element != nullptr ? element->next : nullptr;
}

void* LinkedList_getData(LinkedList element) {
    return element != nullptr ? element->data : nullptr;
}

int LinkedList_size(LinkedList list) {
    int count = 0;
    for (LinkedList e = LinkedList_getNext(list); e != nullptr; e = e->next) {
        ++count;
    }
    return count;
}

void LinkedList_destroyStatic(LinkedList list) {
    while (list != nullptr) {
        LinkedList next = list->next;
        delete list;
        list = next;
    }
}

void LinkedList_destroy(LinkedList list) {
    for (LinkedList e = LinkedList_getNext(list); e != nullptr; e = e->next) {
        std::free(e->data);
    }
    LinkedList_destroyStatic(list);
}

void LinkedList_destroyDeep(LinkedList list, LinkedListValueDeleteFunction valueDeleteFunction) {
    for (LinkedList e = LinkedList_getNext(list); e != nullptr; e = e->next) {
        if (valueDeleteFunction != nullptr && e->data != nullptr) {
            valueDeleteFunction(e->data);
        }
    }
    LinkedList_destroyStatic(list);
}

}  // extern "C"
