// Locked FIFO of streams. The count is kept under the lock as well as atomic, so
// that readers polling it without the lock never see it run ahead of the list.
#include "stream/stream.h"

#include <SDL.h>

struct threadstreamqueue {
    SDL_mutex *lock;    // guards head, tail and changes of count
    threadstream *head; // oldest queued stream
    threadstream *tail; // newest queued stream
    SDL_atomic_t count;
    SDL_atomic_t refcount;
};

threadstreamqueue *threadstreamqueue_create(void)
{
    threadstreamqueue *q = static_cast<threadstreamqueue *>(SDL_malloc(sizeof(threadstreamqueue)));
    if (!q) {
        return nullptr;
    }
    q->lock = SDL_CreateMutex();
    if (!q->lock) {
        SDL_free(q);
        return nullptr;
    }
    q->head = nullptr;
    q->tail = nullptr;
    SDL_AtomicSet(&q->count, 0);
    SDL_AtomicSet(&q->refcount, 1);
    return q;
}

void threadstreamqueue_ref(threadstreamqueue *queue)
{
    if (queue) {
        SDL_AtomicIncRef(&queue->refcount);
    }
}

void threadstreamqueue_unref(threadstreamqueue *queue)
{
    if (!queue || !SDL_AtomicDecRef(&queue->refcount)) {
        return;
    }
    // Last reference: nobody else can reach the queue any more.
    threadstream *s = queue->head;
    while (s) {
        threadstream *next = s->next;
        s->next = nullptr;
        threadstream_free(s);
        s = next;
    }
    SDL_DestroyMutex(queue->lock);
    SDL_free(queue);
}

void threadstreamqueue_putitem(threadstreamqueue *queue, threadstream *stream)
{
    if (!queue || !stream) {
        return;
    }
    stream->next = nullptr;
    SDL_LockMutex(queue->lock);
    if (queue->tail) {
        queue->tail->next = stream;
    } else {
        queue->head = stream;
    }
    queue->tail = stream;
    SDL_AtomicAdd(&queue->count, 1);
    SDL_UnlockMutex(queue->lock);
}

threadstream *threadstreamqueue_getitem(threadstreamqueue *queue)
{
    if (!queue || SDL_AtomicGet(&queue->count) == 0) {
        return nullptr;
    }
    SDL_LockMutex(queue->lock);
    threadstream *s = queue->head;
    if (s) {
        queue->head = s->next;
        if (!queue->head) {
            queue->tail = nullptr;
        }
        SDL_AtomicAdd(&queue->count, -1);
    }
    SDL_UnlockMutex(queue->lock);
    if (s) {
        s->next = nullptr;
    }
    return s;
}

int threadstreamqueue_getcount(threadstreamqueue *queue)
{
    return queue ? SDL_AtomicGet(&queue->count) : 0;
}
