/* A main() of one's own in examples/blink. ld puts .data at H'FEF10 (this
   file's only data) and .bss behind it, at H'FEF10 + 16. */
struct { int speed; long n, d; } data = {1234, -100000L, 7};
struct { unsigned char buffer[32], arithmeticRight; } bss;
int main(void) {
  volatile long n = data.n, d = data.d;
  bss.arithmeticRight = n * d == -700000L && (unsigned long)n / (unsigned long)d == 613552470UL &&
                        (unsigned long)n % (unsigned long)d == 6 && n / d == -14285L && n % d == -5;
  return 0;
}
