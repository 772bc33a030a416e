/* The wall clock moved by $FAKETIME seconds ("+N" or "-N"), for 32-bit
 * programs under libfaketime's scheme. Debian's 32-bit Wine reads the time
 * through glibc's 64-bit-time entry points (__clock_gettime64,
 * __gettimeofday64, __time64), which libfaketime does not replace, so an
 * i686 program under Wine would see the real clock. Monotonic clocks stay
 * real, as with FAKETIME_DONT_FAKE_MONOTONIC. Tests only; never shipped. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdint.h>
#include <stdlib.h>
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
  int r = real(id, ts);
  if (r == 0 && ts && IsWallClock(id)) ts->sec += Offset();
  return r;
}

int __gettimeofday64(struct tv64* tv, void* tz) {
  static int (*real)(struct tv64*, void*);
  if (!real) real = (int (*)(struct tv64*, void*))dlsym(RTLD_NEXT, "__gettimeofday64");
  int r = real(tv, tz);
  if (r == 0 && tv) tv->sec += Offset();
  return r;
}

int64_t __time64(int64_t* out) {
  static int64_t (*real)(int64_t*);
  if (!real) real = (int64_t(*)(int64_t*))dlsym(RTLD_NEXT, "__time64");
  int64_t now = real(NULL) + Offset();
  if (out) *out = now;
  return now;
}

/* The 32-bit-time entry points of older programs. */
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
