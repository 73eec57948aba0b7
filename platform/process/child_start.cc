// Compiled without sanitizers (see CMakeLists.txt): the child runs on the parent's memory
// with the parent thread's thread-local storage, so instrumentation in it would write into
// the sanitizer's state of the thread that started it.
#include "platform/process/child_start.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

extern char** environ;

namespace process {

namespace {

constexpr int kExecFailed = 127;
constexpr long kSignals = 64;
constexpr size_t kKernelSigsetSize = 8;
// The child needs well under a page; the rest is never touched, so it costs no memory.
constexpr size_t kStackBytes = 16 * 1024;
// Nobody reads what a child writes, so it is not worth loading the user's locale for: under
// C.UTF-8 that was about a fifth of a ping's start-up, 254 times a sweep. LC_ALL outranks
// LANG and the other LC_ variables, so an LC_ALL of the host's is the only one replaced.
constexpr char kChildLocale[] = "LC_ALL=C";

bool isLocaleOverride(const char* variable) { return std::strncmp(variable, "LC_ALL=", 7) == 0; }

// Everything the child reads, all inside its own block: nothing of the parent's that the
// parent may change or free while the child runs.
struct ChildPlan {
  int left;  // 1 until the kernel clears it: the child has exec'd or ended
  int output;
  const char* path;
  char* const* argv;
  char* const* envp;
};

// --- The child's side: only system calls made inline, no libc (whose calls may take locks
// or set errno, which is the parent thread's), and no instrumentation.

#define CHILD_CODE __attribute__((always_inline, no_sanitize("address", "thread", "undefined"))) inline

#if defined(__x86_64__)
CHILD_CODE long rawSyscall(long number, long a = 0, long b = 0, long c = 0, long d = 0) {
  long result;
  register long r10 asm("r10") = d;
  asm volatile("syscall" : "=a"(result) : "a"(number), "D"(a), "S"(b), "d"(c), "r"(r10) : "rcx", "r11", "memory");
  return result;
}
#elif defined(__aarch64__)
CHILD_CODE long rawSyscall(long number, long a = 0, long b = 0, long c = 0, long d = 0) {
  register long x8 asm("x8") = number;
  register long x0 asm("x0") = a;
  register long x1 asm("x1") = b;
  register long x2 asm("x2") = c;
  register long x3 asm("x3") = d;
  asm volatile("svc 0" : "+r"(x0) : "r"(x8), "r"(x1), "r"(x2), "r"(x3) : "memory");
  return x0;
}
#else
#error "child_start.cc needs an inline system call for this architecture"
#endif

// clone(2) made directly: ThreadSanitizer interposes glibc's clone() and runs its fork
// bookkeeping in the child, which here would run on the parent's memory and corrupt the
// parent's sanitizer state. Returns the child's pid or -errno; the child calls fn(arg) on
// `stack` and exits with what it returns.
#if defined(__x86_64__)
extern "C" long tessraCloneRaw(unsigned long flags, void* stack, int* parentTid, int* childTid, int (*fn)(void*),
                               void* arg);
asm(R"(
  .text
  .globl tessraCloneRaw
  .hidden tessraCloneRaw
  .type tessraCloneRaw, @function
tessraCloneRaw:
  # rdi flags, rsi stack, rdx parentTid, rcx childTid, r8 fn, r9 arg
  andq $-16, %rsi
  subq $16, %rsi
  movq %r8, 0(%rsi)
  movq %r9, 8(%rsi)
  movq %rcx, %r10
  xorl %r8d, %r8d
  movl $56, %eax        # SYS_clone(flags, stack, parentTid, childTid, tls)
  syscall
  testq %rax, %rax
  jnz 1f
  xorl %ebp, %ebp       # the child, on its own stack
  popq %rax
  popq %rdi
  call *%rax
  movq %rax, %rdi
  movl $231, %eax       # SYS_exit_group
  syscall
  hlt
1:
  ret
  .size tessraCloneRaw, .-tessraCloneRaw
)");
long cloneRaw(unsigned long flags, void* stack, int* parentTid, int* childTid, int (*fn)(void*), void* arg) {
  return tessraCloneRaw(flags, stack, parentTid, childTid, fn, arg);
}
#else
// Elsewhere glibc's clone(); a ThreadSanitizer build there would need its own trampoline.
long cloneRaw(unsigned long flags, void* stack, int* parentTid, int* childTid, int (*fn)(void*), void* arg) {
  const int pid = clone(fn, stack, static_cast<int>(flags), arg, parentTid, nullptr, childTid);
  return pid < 0 ? -errno : pid;
}
#endif

// The kernel's struct sigaction, all zero: SIG_DFL, no flags, empty mask.
const unsigned long kDefaultAction[4] = {0, 0, 0, 0};
const unsigned long kNoSignals = 0;
const sched_param kNoPriority{};  // the only priority the normal and idle policies take

CHILD_CODE void becomeOutput(int output, int target) {
  if (output == target) {
    rawSyscall(SYS_fcntl, target, F_SETFD, 0);  // keep it across the exec
  } else {
    rawSyscall(SYS_dup3, output, target, 0);
  }
}

// Entered with every signal blocked (the parent blocked them around the clone), so no
// handler of the parent's can run here.
__attribute__((no_sanitize("address", "thread", "undefined"))) int childMain(void* argument) {
  const ChildPlan* plan = static_cast<const ChildPlan*>(argument);
  rawSyscall(SYS_sched_setscheduler, 0, kChildPolicy, reinterpret_cast<long>(&kNoPriority));
  for (long signal = 1; signal <= kSignals; ++signal) {
    rawSyscall(SYS_rt_sigaction, signal, reinterpret_cast<long>(kDefaultAction), 0, kKernelSigsetSize);
  }
  becomeOutput(plan->output, STDOUT_FILENO);
  becomeOutput(plan->output, STDERR_FILENO);
  rawSyscall(SYS_close_range, STDERR_FILENO + 1, ~0U, 0);
  rawSyscall(SYS_rt_sigprocmask, SIG_SETMASK, reinterpret_cast<long>(&kNoSignals), 0, kKernelSigsetSize);
  rawSyscall(SYS_execve, reinterpret_cast<long>(plan->path), reinterpret_cast<long>(plan->argv),
             reinterpret_cast<long>(plan->envp));
  rawSyscall(SYS_exit_group, kExecFailed);
  return kExecFailed;
}

// --- The parent's side.

size_t pageSize() { return static_cast<size_t>(sysconf(_SC_PAGESIZE)); }

// Lays out the plan, pointer arrays and strings at the top of the block, growing upwards;
// the stack grows downwards from just below them, so a small child touches one page.
class PlanWriter {
 public:
  explicit PlanWriter(char* start) : cursor_(start) {}
  template <typename T>
  T* take(size_t count) {
    cursor_ = align(cursor_, alignof(T));
    T* at = reinterpret_cast<T*>(cursor_);
    cursor_ += sizeof(T) * count;
    return at;
  }
  char* copy(const char* text) {
    const size_t length = std::strlen(text) + 1;
    char* at = cursor_;
    std::memcpy(at, text, length);
    cursor_ += length;
    return at;
  }
  static char* align(char* at, size_t to) {
    return reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(at) + to - 1) & ~(to - 1));
  }

 private:
  char* cursor_;
};

}  // namespace

ChildMemory::ChildMemory(ChildMemory&& other) noexcept
    : pool_(std::exchange(other.pool_, nullptr)),
      base_(std::exchange(other.base_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      left_(std::exchange(other.left_, nullptr)) {}

ChildMemory& ChildMemory::operator=(ChildMemory&& other) noexcept {
  if (this != &other) {
    release();
    pool_ = std::exchange(other.pool_, nullptr);
    base_ = std::exchange(other.base_, nullptr);
    size_ = std::exchange(other.size_, 0);
    left_ = std::exchange(other.left_, nullptr);
  }
  return *this;
}

bool ChildMemory::childHasLeft() const { return !left_ || __atomic_load_n(left_, __ATOMIC_ACQUIRE) == 0; }

void ChildMemory::release() {
  if (!base_) return;
  // The kernel clears the word and wakes its futex when the child's use of our memory ends.
  while (!childHasLeft()) syscall(SYS_futex, left_, FUTEX_WAIT, 1, nullptr, nullptr, 0);
  if (pool_) {
    pool_->giveBack(base_);
  } else {
    munmap(base_, size_);
  }
  pool_ = nullptr;
  base_ = nullptr;
  left_ = nullptr;
}

ChildStacks::~ChildStacks() {
  for (void* mapping : mappings_) munmap(mapping, kBlockBytes * kBlocksPerMapping);
}

std::variant<void*, int> ChildStacks::take() {
  std::lock_guard lock(mutex_);
  if (free_.empty()) {
    const size_t bytes = kBlockBytes * kBlocksPerMapping;
    void* mapping =
        mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
    if (mapping == MAP_FAILED) return errno;
    mappings_.push_back(mapping);
    free_.reserve(free_.size() + kBlocksPerMapping);
    for (size_t i = kBlocksPerMapping; i-- > 0;) {
      char* block = static_cast<char*>(mapping) + i * kBlockBytes;
      mprotect(block, pageSize(), PROT_NONE);
      free_.push_back(block);
    }
  }
  void* block = free_.back();
  free_.pop_back();
  return block;
}

void ChildStacks::giveBack(void* block) {
  // Its pages go now rather than at the next use: a sweep's worth of blocks would
  // otherwise stay resident.
  madvise(static_cast<char*>(block) + pageSize(), kBlockBytes - pageSize(), MADV_DONTNEED);
  std::lock_guard lock(mutex_);
  free_.push_back(block);
}

std::variant<StartedChild, int> startChild(ChildStacks& stacks, const std::string& path,
                                           const std::vector<std::string>& arguments, int output) {
  // The child cannot tell us why its exec failed without making us wait for it; the
  // usual reasons are told here instead.
  if (faccessat(AT_FDCWD, path.c_str(), X_OK, AT_EACCESS) != 0) return errno;

  size_t environmentCount = 1;  // kChildLocale
  size_t textBytes = path.size() + 1 + sizeof kChildLocale;
  for (const auto& argument : arguments) textBytes += argument.size() + 1;
  for (char** variable = environ; variable && *variable; ++variable) {
    if (isLocaleOverride(*variable)) continue;
    textBytes += std::strlen(*variable) + 1;
    ++environmentCount;
  }
  const size_t planBytes =
      sizeof(ChildPlan) + alignof(char*) + sizeof(char*) * (arguments.size() + 2 + environmentCount + 1) + textBytes;
  const size_t page = pageSize();
  ChildStacks* pool = nullptr;
  void* base = nullptr;
  size_t size = 0;
  if (planBytes + 16 + kStackBytes + page <= ChildStacks::kBlockBytes) {
    auto block = stacks.take();
    if (auto* error = std::get_if<int>(&block)) return *error;
    pool = &stacks;
    base = std::get<void*>(block);
    size = ChildStacks::kBlockBytes;
  } else {
    const size_t planPages = (planBytes + 16 + page - 1) / page * page;
    size = page + kStackBytes + planPages;  // a guard page below the stack
    base = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
    if (base == MAP_FAILED) return errno;
    mprotect(base, page, PROT_NONE);
  }
  char* planStart = static_cast<char*>(base) + size - planBytes;
  planStart = reinterpret_cast<char*>(reinterpret_cast<uintptr_t>(planStart) & ~uintptr_t{15});
  PlanWriter writer(planStart);
  ChildPlan* plan = writer.take<ChildPlan>(1);
  char** argv = writer.take<char*>(arguments.size() + 2);
  char** envp = writer.take<char*>(environmentCount + 1);
  plan->left = 1;
  plan->output = output;
  plan->path = argv[0] = writer.copy(path.c_str());
  for (size_t i = 0; i < arguments.size(); ++i) argv[i + 1] = writer.copy(arguments[i].c_str());
  argv[arguments.size() + 1] = nullptr;
  char** nextVariable = envp;
  for (char** variable = environ; variable && *variable; ++variable) {
    if (!isLocaleOverride(*variable)) *nextVariable++ = writer.copy(*variable);
  }
  *nextVariable++ = writer.copy(kChildLocale);
  *nextVariable = nullptr;
  plan->argv = argv;
  plan->envp = envp;
  void* stackTop = planStart - 16;

  // Every signal blocked, glibc's own included, until the child has put its handlers back
  // to their defaults: a handler of ours must never run on the child's side.
  const unsigned long all = ~0UL;
  unsigned long previous = 0;
  syscall(SYS_rt_sigprocmask, SIG_SETMASK, &all, &previous, kKernelSigsetSize);
  int pidfd = -1;
  const long pid =
      cloneRaw(CLONE_VM | CLONE_PIDFD | CLONE_CHILD_CLEARTID | SIGCHLD, stackTop, &pidfd, &plan->left, childMain, plan);
  syscall(SYS_rt_sigprocmask, SIG_SETMASK, &previous, nullptr, kKernelSigsetSize);
  if (pid < 0) {
    ChildMemory unused(pool, base, size, nullptr);  // given back at once: no child ran on it
    return static_cast<int>(-pid);
  }
  return StartedChild{static_cast<pid_t>(pid), UniqueFd(pidfd), ChildMemory(pool, base, size, &plan->left)};
}

}  // namespace process
