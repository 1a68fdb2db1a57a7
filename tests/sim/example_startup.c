/* A main() of one's own in examples/blink. ld puts .data at H'FEF10
   (this file's only data, 12 bytes) and .bss behind it, at H'FEF20. */
struct { int speed; long n, d; } data = {1234, -100000L, 7};
struct { unsigned long results[5]; unsigned char buffer[32]; } bss;
int main(void) {
  volatile long n = data.n, d = data.d;
  bss.results[0] = (unsigned long)n * (unsigned long)d, bss.results[1] = (unsigned long)n / (unsigned long)d;
  bss.results[2] = (unsigned long)n % (unsigned long)d, bss.results[3] = n / d, bss.results[4] = n % d;
  return 0;
}
