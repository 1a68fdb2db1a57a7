/* Integer work in every width, signed and unsigned, built twice: for the
   board (h8300-hms-gcc -mh, where int has 16 bits) and for the host. Each
   result is folded into the hash of its operation's slot; the slots,
   big-endian, must come out the same from both. Every operation stays
   clear of undefined behaviour, so neither compiler may take liberties:
   wrapping work is done in unsigned types at least as wide as int ("W"). */
#ifdef __H8300H__
typedef long i32; typedef unsigned long u32;
#else
typedef int i32; typedef unsigned int u32;
#endif
typedef signed char i8; typedef unsigned char u8; typedef short i16; typedef unsigned short u16;

#define SLOTS 32
static u32 hash[3 * SLOTS];
static unsigned slot;
static void put(u32 v) {
  hash[slot] = (hash[slot] << 7 | hash[slot] >> 25) ^ v;
  ++slot;
}

static u32 seeds[] = {0, 1, 2, 3, 0x7F, 0x80, 0xFF, 0x7FFF, 0x8000, 0xFFFF, 0x12345678, 0x80000000, 0xDEADBEEF, 0xFFFFFFFF};
#define NSEEDS (sizeof seeds / sizeof seeds[0])

/* One width: T signed, U unsigned, W unsigned at least int, B bits. */
#define WIDTH(T, U, W, B, BASE)                                                     \
  static void ops_##T(u32 x, u32 y) {                                              \
    const U ua = (U)x, ub = (U)y;                                                  \
    const T a = (T)ua, b = (T)ub, min = (T)((U)1 << (B - 1));                      \
    const unsigned s = ub % B, r = 1 + ub % (B - 1);                               \
    slot = BASE;                                                                   \
    put((U)((W)ua + ub)); put((U)((W)ua - ub)); put((U)((W)ua * ub));              \
    put((U)-(W)ua); put((U)~ua); put((U)(ua & ub)); put((U)(ua | ub));             \
    put((U)(ua ^ ub));                                                             \
    put((U)((W)ua << s)); put((U)(ua >> s)); put((U)(a >> s));                     \
    put((U)((W)ua << 1)); put((U)(ua >> 3)); put((U)(a >> 2)); put((U)(a >> (B - 1))); \
    put((U)(((W)ua << r) | (ua >> (B - r))));                                      \
    put((U)(((W)ua >> r) | ((W)ua << (B - r))));                                   \
    put((U)(ua | ((W)1 << s))); put((U)(ua & ~((W)1 << s))); put((ua >> s) & 1);   \
    put((U)(ua ^ ((W)1 << s)));                                                    \
    put((a < b) | (a <= b) << 1 | (a == b) << 2 | (a > b) << 3 | (ua < ub) << 4 |  \
        (ua >= ub) << 5 | (a != 0) << 6 | (a < 0) << 7);                           \
    if (ub != 0) put((U)(ua / ub)), put((U)(ua % ub));                             \
    if (b != 0 && !(b == -1 && a == min)) put((U)(a / b)), put((U)(a % b));        \
    put((u32)(i32)a); put((u32)ua);                                                \
  }
WIDTH(i8, u8, unsigned, 8, 0)
WIDTH(i16, u16, unsigned, 16, SLOTS)
WIDTH(i32, u32, u32, 32, 2 * SLOTS)

/* Widening products, a byte in memory by its bits, moves and comparisons. */
static struct block { u8 b[37]; } src, dst;
static volatile u8 port;
static u32 mixed(u32 x, u32 y) {
  unsigned i;
  u32 h = (u32)((i16)(i8)x * (i8)y) ^ (u32)((u8)x * (u16)(u8)y) << 16;
  h ^= (u32)((i32)(i16)x * (i16)y) + (u32)(u16)x * (u16)y;
  port = (u8)x, port |= 0x08, port &= (u8)~0x41, port ^= 0x80;
  h += (port & 0x20) ? port : ~(u32)port;
  for (i = 0; i < sizeof src.b; ++i) src.b[i] = (u8)(x >> (i % 24)) ^ (u8)(i * 37);
  dst = src;
  dst.b[y % sizeof dst.b] ^= (u8)(1 + x % 255);
  for (i = sizeof dst.b - 1; i > 0; --i) dst.b[i] = dst.b[i - 1];  /* overlapping, backwards */
  for (i = 0; i < sizeof dst.b && dst.b[i] == src.b[i]; ++i) {}
  return h + i + dst.b[0] * 3u;
}

/* Bit fields (the bit loads and stores), a byte through a pointer (bit
   operations on memory) and 64-bit sums and constant shifts (the carry chains). */
static struct fields { unsigned a : 1, b : 3, c : 5, d : 7; } f;
static u32 pick(unsigned k, u32 x) { /* a table of jumps, called through a pointer */
  switch (k % 9) {
    case 0: return x + 1; case 1: return x ^ 0x55; case 2: return x >> 1; case 3: return ~x;
    case 4: return x * 3; case 5: return x - 7; case 6: return x << 2; case 7: return (i8)x; default: return 9;
  }
}
static u32 (*volatile picker)(unsigned, u32) = pick;
static u32 bits(volatile u8 *p, u32 x, u32 y) {
  unsigned long long w = (unsigned long long)x << 32 | y, v = w + ((unsigned long long)y << 17) - (w >> 3);
  f.a = x & 1, f.b = (unsigned)y, f.c += (unsigned)x, f.d ^= (unsigned)(y >> 4);
  *p = (u8)x;
  *p |= 0x08, *p &= (u8)~0x41, *p ^= 0x80, *p |= (u8)(1 << (y & 7));
  return (u32)(v >> 29) ^ (u32)(v > w) << 31 ^ (u32)(f.a + f.b * f.c + f.d) << 8 ^ *p ^ (u32)((i32)(u32)v >> 5) ^ picker((u16)y, x);
}

/* Runs every case; writes the hashes and returns their number of bytes. */
int cpu_oracle_run(u8 *out) {
  unsigned i, j, n;
  for (i = 0; i < NSEEDS; ++i)
    for (j = 0; j < NSEEDS; ++j) {
      ops_i8(seeds[i], seeds[j]);
      ops_i16(seeds[i], seeds[j]);
      ops_i32(seeds[i], seeds[j]);
      slot = SLOTS - 2;
      put(bits(&port, seeds[i], seeds[j]));
      put(mixed(seeds[i], seeds[j]));
    }
  for (n = 0; n < 3 * SLOTS; ++n)
    for (i = 0; i < 4; ++i) *out++ = (u8)(hash[n] >> (24 - 8 * i));
  return 4 * 3 * SLOTS;
}

#ifdef __H8300H__
/* The host reads the hashes from here once the program ends. */
int main(void) { return cpu_oracle_run((u8 *)0xFF400); }
void *memcpy(void *to, const void *from, unsigned long n) { /* for the struct copy */
  u8 *t = to; const u8 *f = from;
  while (n--) *t++ = *f++;
  return to;
}
#endif
