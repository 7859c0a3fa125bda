#pragma once
/* Singly linked list of the C client API. A list is its head element, which carries no data; the
 * first real element is LinkedList_getNext(list). */

#ifdef __cplusplus
extern "C" {
#endif

typedef struct LinkedListElement* LinkedList;

/* Null at the end of the list (and for a null list). */
LinkedList LinkedList_getNext(LinkedList element);
void* LinkedList_getData(LinkedList element);
/* Number of real elements (the head is not counted). */
int LinkedList_size(LinkedList list);
/* Frees the list and every element's data with free(). */
void LinkedList_destroy(LinkedList list);

typedef void (*LinkedListValueDeleteFunction)(void*);
/* Frees the list and every element's data with the given function. */
void LinkedList_destroyDeep(LinkedList list, LinkedListValueDeleteFunction valueDeleteFunction);

/* Further functions of this stack. */
LinkedList LinkedList_create(void);
/* Appends data (ownership passes to the list) in constant time. */
void LinkedList_add(LinkedList list, void* data);
/* Frees the list but not the data. */
void LinkedList_destroyStatic(LinkedList list);

#ifdef __cplusplus
}
#endif
