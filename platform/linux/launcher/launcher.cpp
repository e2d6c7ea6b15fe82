// The portable folder's front door: "velno-updater" and "velno-check" at the
// top of the folder are this launcher, the programs themselves lie in bin/.
// It checks that the system can run them before it starts one, and where the
// system cannot, it says what the system lacks in a message box of whatever
// the desktop has (zenity, kdialog, xmessage, notify-send) and on the
// terminal, instead of a double-click that shows nothing.
//
// It must run where the programs cannot. It uses the C library alone, and
// each function in the version of the library's first x86-64 release
// (GLIBC_2.2.5), so it brings its own entry point: today's start files call
// __libc_start_main@GLIBC_2.34. Nothing in it needs the C++ runtime: no
// exceptions, no static objects with constructors, no library of its own.
//
// In order:
//   1. The C library must be at least VELNO_GLIBC_FLOOR, which the programs,
//      Qt and the folder's other libraries need.
//   2. Where the system's C++ runtime defines VELNO_CXX_RUNTIME (GCC 12's or
//      newer), the programs use it: a newer one, which the system's own
//      libraries may need, is never shadowed. Otherwise they use the
//      folder's copy in lib/c++ (LD_LIBRARY_PATH), which needs the C library
//      VELNO_GLIBC_CXX_FLOOR.
//   3. It runs bin/NAME with the same arguments, NAME being the name it was
//      started under. Started as velno-updater without arguments, in a
//      folder that holds the update's mtmp, it hands that folder on: the
//      program in bin/ would not find the update beside itself.

#include <dirent.h>
#include <dlfcn.h>
#include <gnu/libc-version.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#define VELNO_GLIBC_2_2_5(name) __asm__(".symver " #name "," #name "@GLIBC_2.2.5")
VELNO_GLIBC_2_2_5(__libc_start_main);
VELNO_GLIBC_2_2_5(closedir);
VELNO_GLIBC_2_2_5(dlerror);
VELNO_GLIBC_2_2_5(dlopen);
VELNO_GLIBC_2_2_5(dlvsym);
VELNO_GLIBC_2_2_5(execv);
VELNO_GLIBC_2_2_5(execvp);
VELNO_GLIBC_2_2_5(fork);
VELNO_GLIBC_2_2_5(fprintf);
VELNO_GLIBC_2_2_5(getenv);
VELNO_GLIBC_2_2_5(gnu_get_libc_version);
VELNO_GLIBC_2_2_5(memcpy);
VELNO_GLIBC_2_2_5(opendir);
VELNO_GLIBC_2_2_5(readdir);
VELNO_GLIBC_2_2_5(readlink);
VELNO_GLIBC_2_2_5(setenv);
VELNO_GLIBC_2_2_5(snprintf);
VELNO_GLIBC_2_2_5(stderr);
VELNO_GLIBC_2_2_5(strcasecmp);
VELNO_GLIBC_2_2_5(strcmp);
VELNO_GLIBC_2_2_5(strerror);
VELNO_GLIBC_2_2_5(strrchr);
VELNO_GLIBC_2_2_5(strstr);
VELNO_GLIBC_2_2_5(strtoul);
VELNO_GLIBC_2_2_5(waitpid);
VELNO_GLIBC_2_2_5(__errno_location);
VELNO_GLIBC_2_2_5(_exit);

// The entry point, as the start files of the C library's first x86-64
// release had it: main, argc, argv, no init or fini of the program's own, the
// loader's fini, the stack's end.
__asm__(
    ".text\n"
    ".globl _start\n"
    ".type _start,@function\n"
    "_start:\n"
    "  xor %ebp, %ebp\n"
    "  mov %rdx, %r9\n"
    "  pop %rsi\n"
    "  mov %rsp, %rdx\n"
    "  and $-16, %rsp\n"
    "  push %rax\n"
    "  push %rsp\n"
    "  xor %r8d, %r8d\n"
    "  xor %ecx, %ecx\n"
    "  lea main(%rip), %rdi\n"
    "  call *__libc_start_main@GOTPCREL(%rip)\n"
    "  hlt\n");

namespace {

constexpr const char* kTitle = "VELNO updater";
constexpr int kFailure = 1;

// "2.35" -> 2035, so that versions compare as numbers.
unsigned long VersionNumber(const char* version) {
    char* end = nullptr;
    const unsigned long major = strtoul(version, &end, 10);
    const unsigned long minor = *end == '.' ? strtoul(end + 1, nullptr, 10) : 0;
    return major * 1000 + minor;
}

struct Tool {
    const char* argv[8];
    // Besides 0: the tool's status when the box was closed without OK.
    int closed_status;
};

// Runs a tool that shows the text; true when it did.
bool Shown(const Tool& tool) {
    const pid_t child = fork();
    if (child == 0) {
        execvp(tool.argv[0], const_cast<char* const*>(tool.argv));
        _exit(127);
    }
    int status = 0;
    while (child > 0 && waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (child < 0 || !WIFEXITED(status)) {
        return false;
    }
    return WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == tool.closed_status;
}

// On the terminal, then in the first message box the desktop can show.
int Refuse(const char* text) {
    fprintf(stderr, "%s\n", text);
    if (getenv("DISPLAY") == nullptr && getenv("WAYLAND_DISPLAY") == nullptr) {
        return kFailure;
    }
    const Tool zenity{{"zenity", "--error", "--no-markup", "--title", kTitle, "--text", text}, 1};
    const Tool kdialog{{"kdialog", "--title", kTitle, "--error", text}, 1};
    const Tool xmessage{{"xmessage", "-center", "-title", kTitle, text}, 0};
    const Tool notify{{"notify-send", "-u", "critical", kTitle, text}, 0};
    const char* desktop = getenv("XDG_CURRENT_DESKTOP");
    const bool kde = desktop != nullptr && strstr(desktop, "KDE") != nullptr;
    const Tool* order[] = {kde ? &kdialog : &zenity, kde ? &zenity : &kdialog, &xmessage, &notify};
    for (const Tool* tool : order) {
        if (Shown(*tool)) {
            break;
        }
    }
    return kFailure;
}

// True when the folder holds a folder named mtmp, in any case, as the
// program finds it.
bool HoldsUpdate(const char* folder) {
    DIR* listing = opendir(folder);
    if (listing == nullptr) {
        return false;
    }
    bool found = false;
    while (const dirent* entry = readdir(listing)) {
        if (strcasecmp(entry->d_name, "mtmp") == 0) {
            char path[PATH_MAX + 256];
            snprintf(path, sizeof path, "%s/%s", folder, entry->d_name);
            if (DIR* inner = opendir(path)) {
                closedir(inner);
                found = true;
                break;
            }
        }
    }
    closedir(listing);
    return found;
}

// True when the system's C++ runtime defines every version in the list: a
// version's name is also a symbol of that version, of value 0.
bool SystemCxxRuntime(const char* const* versions) {
    void* runtime = dlopen("libstdc++.so.6", RTLD_LAZY | RTLD_LOCAL);
    if (runtime == nullptr) {
        return false;
    }
    for (; *versions != nullptr; ++versions) {
        dlerror();
        if (dlvsym(runtime, *versions, *versions) == nullptr && dlerror() != nullptr) {
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char* argv[]) {
    char message[2 * PATH_MAX];
    const char* system_version = gnu_get_libc_version();
    if (VersionNumber(system_version) < VersionNumber(VELNO_GLIBC_FLOOR)) {
        snprintf(message, sizeof message,
                 "The VELNO updater cannot run on this system: it needs the GNU C library "
                 "(glibc) %s or later, and this system has %s. Debian 12, Ubuntu 22.04, "
                 "Fedora 36 and later releases have it.",
                 VELNO_GLIBC_FLOOR, system_version);
        return Refuse(message);
    }

    char folder[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", folder, sizeof folder - 1);
    char* slash = nullptr;
    if (length > 0) {
        folder[length] = '\0';
        slash = strrchr(folder, '/');
    }
    if (slash == nullptr) {
        return Refuse("The VELNO updater cannot find its own folder (/proc is not mounted).");
    }
    *slash = '\0';

    const char* const needed[] = {VELNO_CXX_RUNTIME, nullptr};
    if (!SystemCxxRuntime(needed)) {
        if (VersionNumber(system_version) < VersionNumber(VELNO_GLIBC_CXX_FLOOR)) {
            snprintf(message, sizeof message,
                     "The VELNO updater cannot run on this system: it needs the C++ runtime of "
                     "GCC 12 or later (libstdc++ with %s), or the GNU C library (glibc) %s or "
                     "later for the copy it brings. This system has glibc %s and an older C++ "
                     "runtime. Install the system's updates and try again.",
                     VELNO_CXX_RUNTIME, VELNO_GLIBC_CXX_FLOOR, system_version);
            return Refuse(message);
        }
        char path[4 * PATH_MAX];
        const char* inherited = getenv("LD_LIBRARY_PATH");
        snprintf(path, sizeof path, "%s/lib/c++%s%s", folder,
                 inherited != nullptr && *inherited != '\0' ? ":" : "",
                 inherited != nullptr ? inherited : "");
        setenv("LD_LIBRARY_PATH", path, 1);
    }

    const char* started_as = argc > 0 ? argv[0] : "";
    const char* name =
        strrchr(started_as, '/') != nullptr ? strrchr(started_as, '/') + 1 : started_as;
    const bool check = strcmp(name, "velno-check") == 0;
    char program[PATH_MAX + 32];
    snprintf(program, sizeof program, "%s/bin/%s", folder, check ? "velno-check" : "velno-updater");
    // Without arguments, velno-updater is handed this folder where it holds
    // the update.
    char* own[] = {program, !check && HoldsUpdate(folder) ? folder : nullptr, nullptr};
    if (argc > 1) {
        argv[0] = program;
    }
    execv(program, argc > 1 ? argv : own);
    snprintf(message, sizeof message,
             "The VELNO updater cannot start %s: %s. Keep the folder it came in together.", program,
             strerror(errno));
    return Refuse(message);
}
