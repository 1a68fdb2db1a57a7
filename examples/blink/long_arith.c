/* 32-bit multiply and divide for H8/300H code, which gcc -mh calls by
   name (__mulsi3, __udivsi3, __umodsi3, __divsi3, __modsi3). The libgcc.a
   that comes with h8300-hms-gcc is built for the H8/300 alone (gcc -mh
   -print-multi-lib lists no H8/300H variant): its routines take a long in
   a pair of 16-bit registers, where -mh code passes it in ER0 and ER1, so
   linked with -mh code it gives wrong results without a word. See the
   README for what else of libgcc this leaves out. */
unsigned long __mulsi3(unsigned long a, unsigned long b) {
  unsigned long product = 0;
  for (; b != 0; b >>= 1, a <<= 1) {
    if (b & 1) product += a;
  }
  return product;
}

/* Restoring division, a bit at a time; by zero: quotient all ones,
   remainder the dividend. */
static unsigned long divide(unsigned long n, unsigned long d, unsigned long *remainder) {
  unsigned long q = 0, r = 0;
  int i;
  for (i = 0; i < 32; ++i) {
    r = r << 1 | n >> 31;
    n <<= 1;
    q <<= 1;
    if (r >= d) {
      r -= d;
      q |= 1;
    }
  }
  *remainder = r;
  return q;
}

unsigned long __udivsi3(unsigned long n, unsigned long d) {
  unsigned long r;
  return divide(n, d, &r);
}

unsigned long __umodsi3(unsigned long n, unsigned long d) {
  unsigned long r;
  divide(n, d, &r);
  return r;
}

/* C's rules: the quotient rounds toward zero, the remainder takes the
   dividend's sign. */
long __divsi3(long n, long d) {
  unsigned long r;
  const unsigned long q = divide(n < 0 ? -(unsigned long)n : (unsigned long)n,
                                 d < 0 ? -(unsigned long)d : (unsigned long)d, &r);
  return (n < 0) != (d < 0) ? -(long)q : (long)q;
}

long __modsi3(long n, long d) {
  unsigned long r;
  divide(n < 0 ? -(unsigned long)n : (unsigned long)n, d < 0 ? -(unsigned long)d : (unsigned long)d, &r);
  return n < 0 ? -(long)r : (long)r;
}
