/* Loaded into the 32-bit Wine under user-mode emulation (LD_PRELOAD).
 * The emulator delivers a fault's signal without the trap number a kernel
 * puts in the signal context, and Wine tells the kinds of fault apart by that
 * number: unhelped, every bad pointer is reported as an illegal instruction
 * and an integer division by zero as a floating-point fault. This fills in
 * the number the kernel would have given before Wine's handler runs.
 * Built with: gcc -m32 -shared -fPIC -o trapno.so trapno.c -ldl */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stdlib.h>
#include <ucontext.h>

enum {
    kTrapDivide = 0,
    kTrapProtection = 13,
    kTrapPageFault = 14,
    kTrapFpu = 16,
    kTrapSimd = 19,
};

typedef void (*Handler)(int, siginfo_t*, void*);
typedef int (*SigactionFn)(int, const struct sigaction*, struct sigaction*);
static Handler wine_segv, wine_fpe;

static void with_trap(int sig, siginfo_t* info, void* context) {
    greg_t* regs = ((ucontext_t*)context)->uc_mcontext.gregs;
    const int code = info->si_code;
    if (sig == SIGSEGV) {
        if ((code == SEGV_MAPERR || code == SEGV_ACCERR) && regs[REG_TRAPNO] != kTrapPageFault &&
            regs[REG_TRAPNO] != kTrapProtection) {
            regs[REG_TRAPNO] = kTrapPageFault;
            /* Bit 0: the page was there but the access was not allowed. */
            regs[REG_ERR] = code == SEGV_ACCERR ? 1 : 0;
        }
        wine_segv(sig, info, context);
        return;
    }
    if (code == FPE_INTDIV || code == FPE_INTOVF) {
        regs[REG_TRAPNO] = kTrapDivide; /* both come from the divide error */
    } else if (code > 0 && regs[REG_TRAPNO] != kTrapFpu && regs[REG_TRAPNO] != kTrapSimd) {
        regs[REG_TRAPNO] = kTrapFpu;
    }
    wine_fpe(sig, info, context);
}

/* The emulator hands the library to each loader it starts; host programs that
 * Wine starts (the preloader stand-in, wineserver) must not inherit a 32-bit
 * LD_PRELOAD their own loader would complain about. */
__attribute__((constructor)) static void forget_preload(void) { unsetenv("LD_PRELOAD"); }

int sigaction(int sig, const struct sigaction* act, struct sigaction* old) {
    static SigactionFn real;
    if (!real) real = (SigactionFn)dlsym(RTLD_NEXT, "sigaction");
    Handler* saved = sig == SIGSEGV ? &wine_segv : sig == SIGFPE ? &wine_fpe : NULL;
    if (saved && act && (act->sa_flags & SA_SIGINFO) && act->sa_sigaction != with_trap) {
        struct sigaction mine = *act;
        Handler previous = *saved;
        int result;
        *saved = act->sa_sigaction;
        mine.sa_sigaction = with_trap;
        result = real(sig, &mine, old);
        if (old && old->sa_sigaction == with_trap) old->sa_sigaction = previous;
        return result;
    }
    return real(sig, act, old);
}
