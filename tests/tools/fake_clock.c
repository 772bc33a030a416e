/* The wall clock moved by $FAKETIME seconds ("+N" or "-N"), preloaded into
 * every program a scenario starts at a chosen time (scripts/wine-env.sh);
 * built for both word sizes. libfaketime does not serve here: Debian's
 * 32-bit Wine reads the time through glibc's 64-bit-time entry points
 * (__clock_gettime64, __gettimeofday64, __time64), which it does not
 * replace, and its semaphore shared between processes hangs or fails when
 * 64- and 32-bit programs or a child outliving its parent share it. A fixed
 * offset needs no shared state. Monotonic clocks stay real. Tests only. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/time.h>
#include <time.h>

/* The layouts of glibc's __timespec64 and __timeval64 on i386. */
struct ts64 {
  int64_t sec;
  int32_t nsec;
  int32_t pad;
};
struct tv64 {
  int64_t sec;
  int64_t usec;
};

static int64_t Offset(void) {
  static int read;
  static int64_t offset;
  if (!read) {
    const char* text = getenv("FAKETIME");
    offset = text ? strtoll(text, NULL, 10) : 0;
    read = 1;
  }
  return offset;
}

static int IsWallClock(clockid_t id) { return id == CLOCK_REALTIME || id == CLOCK_REALTIME_COARSE; }

int __clock_gettime64(clockid_t id, struct ts64* ts) {
  static int (*real)(clockid_t, struct ts64*);
  if (!real) real = (int (*)(clockid_t, struct ts64*))dlsym(RTLD_NEXT, "__clock_gettime64");
  if (!real) return -1;
  int r = real(id, ts);
  if (r == 0 && ts && IsWallClock(id)) ts->sec += Offset();
  return r;
}

int __gettimeofday64(struct tv64* tv, void* tz) {
  static int (*real)(struct tv64*, void*);
  if (!real) real = (int (*)(struct tv64*, void*))dlsym(RTLD_NEXT, "__gettimeofday64");
  if (!real) return -1;
  int r = real(tv, tz);
  if (r == 0 && tv) tv->sec += Offset();
  return r;
}

int64_t __time64(int64_t* out) {
  static int64_t (*real)(int64_t*);
  if (!real) real = (int64_t(*)(int64_t*))dlsym(RTLD_NEXT, "__time64");
  if (!real) return -1;
  int64_t now = real(NULL) + Offset();
  if (out) *out = now;
  return now;
}

/* The plain entry points: 64-bit programs, and 32-bit ones built with a
 * 32-bit time_t. */
int clock_gettime(clockid_t id, struct timespec* ts) {
  static int (*real)(clockid_t, struct timespec*);
  if (!real) real = (int (*)(clockid_t, struct timespec*))dlsym(RTLD_NEXT, "clock_gettime");
  int r = real(id, ts);
  if (r == 0 && IsWallClock(id)) ts->tv_sec += (time_t)Offset();
  return r;
}

time_t time(time_t* out) {
  static time_t (*real)(time_t*);
  if (!real) real = (time_t(*)(time_t*))dlsym(RTLD_NEXT, "time");
  time_t now = real(NULL) + (time_t)Offset();
  if (out) *out = now;
  return now;
}

int gettimeofday(struct timeval* tv, void* tz) {
  static int (*real)(struct timeval*, void*);
  if (!real) real = (int (*)(struct timeval*, void*))dlsym(RTLD_NEXT, "gettimeofday");
  int r = real(tv, tz);
  if (r == 0) tv->tv_sec += (time_t)Offset();
  return r;
}
