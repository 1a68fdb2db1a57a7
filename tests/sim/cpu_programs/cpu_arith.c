/* Integer arithmetic as the compiler does it for the H8/300H: 8-, 16- and
   32-bit multiply, divide and remainder, signed and unsigned, shifts by
   variable amounts, over 100 xorshift32 pairs. Each kind folds into its
   own checksum; the test computes the same on the host. */

extern volatile unsigned long result[];

static unsigned long state = 88172645UL;

static unsigned long next(void)
{
  state ^= state << 13;
  state ^= state >> 17;
  state ^= state << 5;
  return state;
}

static unsigned long fold(unsigned long acc, unsigned long v)
{
  return (acc << 7 | acc >> 25) ^ v;
}

int main(void)
{
  unsigned long c[12];
  int i, k;
  for (k = 0; k < 12; k++)
    c[k] = 0;
  for (i = 0; i < 100; i++) {
    unsigned long a = next(), b = next();
    unsigned long b32 = b | 1; /* never zero */
    unsigned short a16 = (unsigned short)a, b16 = (unsigned short)(b | 1);
    short s16 = (short)a, t16 = (short)(b | 1);
    unsigned char a8 = (unsigned char)a, b8 = (unsigned char)(b | 1);
    long sa = (long)a, sb = (long)b32;
    int n = (int)(b & 31);
    if (t16 == -1 && s16 == -32768)
      t16 = 1;
    c[0] = fold(c[0], a * b);
    c[1] = fold(c[1], a / b32);
    c[2] = fold(c[2], a % b32);
    c[3] = fold(c[3], (unsigned long)(sa / sb));
    c[4] = fold(c[4], (unsigned long)(sa % sb));
    c[5] = fold(c[5], (unsigned short)(a16 * b16));
    c[6] = fold(c[6], (unsigned long)a16 * b16);
    c[7] = fold(c[7], (unsigned long)(unsigned short)(a16 / b16) << 16 | (unsigned short)(a16 % b16));
    c[8] = fold(c[8], (unsigned long)(long)(s16 / t16) << 16 ^ (unsigned long)(long)(s16 % t16));
    c[9] = fold(c[9], (unsigned long)(unsigned char)((unsigned)a8 * b8) << 8 | (unsigned char)(a8 / b8));
    c[10] = fold(c[10], (a << n) ^ (a >> n) ^ (unsigned long)(sa >> n));
    c[11] = fold(c[11], (unsigned long)(long)s16 * (long)t16);
  }
  for (k = 0; k < 12; k++)
    result[k] = c[k];
  return 0;
}
