/* The 32-bit multiply and divide helpers that h8300-hms-gcc -mh calls
   (the toolchain's own libgcc is built for the H8/300, not the H8/300H).
   Shift-and-add and shift-and-subtract, so they call nothing themselves. */

unsigned long __mulsi3(unsigned long a, unsigned long b)
{
  unsigned long r = 0;
  while (b != 0) {
    if (b & 1)
      r += a;
    a <<= 1;
    b >>= 1;
  }
  return r;
}

static unsigned long divmod(unsigned long n, unsigned long d, int want_remainder)
{
  unsigned long q = 0, r = 0;
  int i;
  if (d == 0)
    return 0;
  for (i = 31; i >= 0; i--) {
    r = (r << 1) | ((n >> i) & 1);
    if (r >= d) {
      r -= d;
      q |= 1UL << i;
    }
  }
  return want_remainder ? r : q;
}

unsigned long __udivsi3(unsigned long n, unsigned long d) { return divmod(n, d, 0); }
unsigned long __umodsi3(unsigned long n, unsigned long d) { return divmod(n, d, 1); }

long __divsi3(long n, long d)
{
  int negative = (n < 0) != (d < 0);
  unsigned long q = divmod(n < 0 ? -(unsigned long)n : (unsigned long)n,
                           d < 0 ? -(unsigned long)d : (unsigned long)d, 0);
  return negative ? -(long)q : (long)q;
}

long __modsi3(long n, long d)
{
  unsigned long r = divmod(n < 0 ? -(unsigned long)n : (unsigned long)n,
                           d < 0 ? -(unsigned long)d : (unsigned long)d, 1);
  return n < 0 ? -(long)r : (long)r;
}
