/* Loaded into the 32-bit Wine under user-mode emulation (LD_PRELOAD).
 * The emulator delivers a fault's SIGSEGV without the trap number a kernel
 * puts in the signal context, and Wine tells an access violation from other
 * faults by that number: unhelped, every bad pointer is reported as an
 * illegal instruction. This fills in "page fault" before Wine's handler runs.
 * Built with gcc -m32 -shared -fPIC -o trapno.so trapno.c -ldl */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stdlib.h>
#include <ucontext.h>

enum { kTrapPageFault = 14, kTrapProtection = 13 };

typedef int (*SigactionFn)(int, const struct sigaction*, struct sigaction*);
static void (*wine_segv)(int, siginfo_t*, void*);

static void segv_with_trap(int sig, siginfo_t* info, void* context) {
    greg_t* regs = ((ucontext_t*)context)->uc_mcontext.gregs;
    int fault = info->si_code == SEGV_MAPERR || info->si_code == SEGV_ACCERR;
    if (fault && regs[REG_TRAPNO] != kTrapPageFault && regs[REG_TRAPNO] != kTrapProtection) {
        regs[REG_TRAPNO] = kTrapPageFault;
        /* Bit 0: the page was there but the access was not allowed. */
        regs[REG_ERR] = info->si_code == SEGV_ACCERR ? 1 : 0;
    }
    wine_segv(sig, info, context);
}

/* The emulator hands the library to each loader it starts; host programs that
 * Wine starts (the preloader stand-in, wineserver) must not inherit a 32-bit
 * LD_PRELOAD their own loader would complain about. */
__attribute__((constructor)) static void forget_preload(void) { unsetenv("LD_PRELOAD"); }

int sigaction(int sig, const struct sigaction* act, struct sigaction* old) {
    static SigactionFn real;
    if (!real) real = (SigactionFn)dlsym(RTLD_NEXT, "sigaction");
    if (sig == SIGSEGV && act && (act->sa_flags & SA_SIGINFO) &&
        act->sa_sigaction != segv_with_trap) {
        struct sigaction mine = *act;
        int result;
        wine_segv = act->sa_sigaction;
        mine.sa_sigaction = segv_with_trap;
        result = real(sig, &mine, old);
        if (old && old->sa_sigaction == segv_with_trap) old->sa_sigaction = wine_segv;
        return result;
    }
    return real(sig, act, old);
}
