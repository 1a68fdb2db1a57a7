/* Sorting: a recursive quicksort of 300 pseudo-random unsigned 16-bit
   values and an insertion sort of 200 signed 32-bit values, both from a
   xorshift32 generator seeded with 2463534242. The test repeats the
   generator and the sorts on the host and compares. */

extern volatile unsigned long result[];

static unsigned long state = 2463534242UL;

static unsigned long next(void)
{
  state ^= state << 13;
  state ^= state >> 17;
  state ^= state << 5;
  return state;
}

static unsigned short words[300];
static long longs[200];

static void quicksort(unsigned short *a, int lo, int hi)
{
  while (lo < hi) {
    unsigned short pivot = a[(lo + hi) / 2];
    int i = lo, j = hi;
    while (i <= j) {
      while (a[i] < pivot) i++;
      while (a[j] > pivot) j--;
      if (i <= j) {
        unsigned short t = a[i];
        a[i] = a[j];
        a[j] = t;
        i++;
        j--;
      }
    }
    if (j - lo < hi - i) {
      quicksort(a, lo, j);
      lo = i;
    } else {
      quicksort(a, i, hi);
      hi = j;
    }
  }
}

static void insertion_sort(long *a, int n)
{
  int i, j;
  for (i = 1; i < n; i++) {
    long v = a[i];
    for (j = i; j > 0 && a[j - 1] > v; j--)
      a[j] = a[j - 1];
    a[j] = v;
  }
}

int main(void)
{
  int i;
  unsigned long sum = 0, mix = 0;
  for (i = 0; i < 300; i++)
    words[i] = (unsigned short)next();
  for (i = 0; i < 200; i++)
    longs[i] = (long)next();
  quicksort(words, 0, 299);
  insertion_sort(longs, 200);
  for (i = 0; i < 300; i++) {
    sum += words[i];
    mix = (mix << 3 | mix >> 29) ^ words[i];
  }
  result[0] = sum;
  result[1] = mix;
  mix = 0;
  for (i = 0; i < 200; i++)
    mix = (mix << 5 | mix >> 27) ^ (unsigned long)longs[i];
  result[5] = mix;
  result[6] = (unsigned long)longs[0];
  return 0;
}
