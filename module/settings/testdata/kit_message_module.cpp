// A stand-in for a kit's message module ("libZaro2_0.so"), loaded by the catalogue tests
// to check that LoadMessage prefers a loaded module's texts. Plain code without library
// templates, so the object unloads again when the test closes it.

namespace {

// Writes `count` copies of `fill` and then `tail`, as far as `capacity` allows.
int Copy(char16_t* buffer, int capacity, int count, char16_t fill, const char16_t* tail) {
  int n = 0;
  for (int i = 0; i < count && n < capacity - 1; ++i) buffer[n++] = fill;
  for (; *tail && n < capacity - 1; ++tail) buffer[n++] = *tail;
  buffer[n] = u'\0';
  return n;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int ZaroLoadString(unsigned id, char16_t* buffer, int capacity) {
  if (!buffer || capacity <= 0) return 0;
  switch (id) {
    case 8010:
      return Copy(buffer, capacity, 0, u' ', u"Kit title");
    case 8001:
      return Copy(buffer, capacity, 0, u' ', u"kit 8001");
    case 9000:  // longer than the first buffers, so the lookup has to grow them
      return Copy(buffer, capacity, 600, u'x', u"end");
    case 9001:  // exactly fills the first buffer
      return Copy(buffer, capacity, 255, u'y', u"");
    default:
      buffer[0] = u'\0';
      return 0;
  }
}
