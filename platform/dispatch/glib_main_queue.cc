#include "platform/dispatch/glib_main_queue.h"

#include <glib.h>

#include <algorithm>
#include <cassert>

namespace dispatch {

namespace {
constexpr gint64 kDrainSliceMicroseconds = 2000;
}  // namespace

// A GSource that is ready whenever the FIFO holds a block. Readiness is re-checked in
// prepare() and check(), and async() wakes the context, so a block posted from another
// thread while the main thread sleeps in poll() is seen at once.
struct GlibMainQueue::QueueSource {
  GSource base;
  GlibMainQueue* queue;

  static gboolean prepare(GSource* source, gint* timeout) {
    *timeout = -1;
    return reinterpret_cast<QueueSource*>(source)->queue->hasPending();
  }
  static gboolean check(GSource* source) { return reinterpret_cast<QueueSource*>(source)->queue->hasPending(); }
  static gboolean dispatch(GSource* source, GSourceFunc, gpointer) {
    // Blocks come in bursts (a sweep's children often end together), and a turn of the
    // loop per block would make the last of a burst wait for hundreds of turns. So drain
    // the queue, but for at most a slice of time, so that input and redraws still get their
    // turn during a long drain. A nested loop run by a block takes the next blocks in order.
    GlibMainQueue* queue = reinterpret_cast<QueueSource*>(source)->queue;
    const gint64 until = g_get_monotonic_time() + kDrainSliceMicroseconds;
    while (queue->runOne() && g_get_monotonic_time() < until) {
    }
    return G_SOURCE_CONTINUE;
  }
  static GSourceFuncs* funcs() {
    static GSourceFuncs funcs = {prepare, check, dispatch, nullptr, nullptr, nullptr};
    return &funcs;
  }
};

struct GlibMainQueue::Timer {
  GlibMainQueue* queue;
  TimerId id = 0;
  Block block;
  GSource* source = nullptr;

  ~Timer() {
    if (source) g_source_destroy(source);
    g_clear_pointer(&source, g_source_unref);
  }
  static gboolean fire(gpointer data) {
    auto* timer = static_cast<Timer*>(data);
    timer->queue->timerFired(timer->id);
    return G_SOURCE_REMOVE;
  }
};

GlibMainQueue::GlibMainQueue() : mainThread_(std::this_thread::get_id()) {
  GSource* source = g_source_new(QueueSource::funcs(), sizeof(QueueSource));
  source_ = reinterpret_cast<QueueSource*>(source);
  source_->queue = this;
  g_source_set_name(source, "tessra main queue");
  g_source_set_can_recurse(source, TRUE);
  g_source_attach(source, g_main_context_default());
}

GlibMainQueue::~GlibMainQueue() {
  assert(isMainThread());
  GSource* source = &source_->base;
  g_source_destroy(source);
  g_source_unref(source);
  std::unordered_map<TimerId, std::unique_ptr<Timer>> timers;
  std::deque<Block> blocks;
  {
    std::lock_guard lock(mutex_);
    timers.swap(timers_);
    blocks.swap(blocks_);
  }
  // Dropped outside the lock: a block's captures may post again while they die.
}

void GlibMainQueue::async(Block block) {
  {
    std::lock_guard lock(mutex_);
    blocks_.push_back(std::move(block));
  }
  g_main_context_wakeup(g_main_context_default());
}

TimerId GlibMainQueue::asyncAfter(std::chrono::milliseconds delay, Block block) {
  auto timer = std::make_unique<Timer>();
  timer->queue = this;
  timer->block = std::move(block);
  const auto interval = static_cast<guint>(std::clamp<std::chrono::milliseconds::rep>(delay.count(), 0, G_MAXUINT));
  timer->source = g_timeout_source_new(interval);
  g_source_set_callback(timer->source, Timer::fire, timer.get(), nullptr);
  GSource* source = timer->source;
  TimerId id = 0;
  {
    std::lock_guard lock(mutex_);
    id = ++lastTimerId_;
    timer->id = id;
    timers_.emplace(id, std::move(timer));
  }
  // Attached only once the timer is on the list, so that fire() always finds it there.
  g_source_attach(source, g_main_context_default());
  return id;
}

void GlibMainQueue::cancelAsyncAfter(TimerId timer) {
  // On the main thread, so that the timer cannot be firing meanwhile.
  assert(isMainThread());
  std::unique_ptr<Timer> withdrawn;
  {
    std::lock_guard lock(mutex_);
    withdrawn = takeTimerLocked(timer);
  }
  // Destroyed outside the lock: the block's captures may post again while they die.
}

std::unique_ptr<GlibMainQueue::Timer> GlibMainQueue::takeTimerLocked(TimerId timer) {
  auto it = timers_.find(timer);
  if (it == timers_.end()) return nullptr;
  std::unique_ptr<Timer> taken = std::move(it->second);
  timers_.erase(it);
  return taken;
}

bool GlibMainQueue::isMainThread() const { return std::this_thread::get_id() == mainThread_; }

bool GlibMainQueue::hasPending() const {
  std::lock_guard lock(mutex_);
  return !blocks_.empty();
}

bool GlibMainQueue::runOne() {
  Block block;
  {
    std::lock_guard lock(mutex_);
    if (blocks_.empty()) return false;
    block = std::move(blocks_.front());
    blocks_.pop_front();
  }
  block();
  return true;
}

void GlibMainQueue::timerFired(TimerId timer) {
  std::unique_ptr<Timer> owned;
  {
    std::lock_guard lock(mutex_);
    owned = takeTimerLocked(timer);
    if (!owned) return;
    blocks_.push_back(std::move(owned->block));
  }
  // The source is being dispatched: GLib removes it after fire() returns G_SOURCE_REMOVE,
  // so only our reference is dropped here.
  g_clear_pointer(&owned->source, g_source_unref);
}

}  // namespace dispatch
