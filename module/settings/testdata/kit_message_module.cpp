// A stand-in for a kit's message module ("libZaro2_0.so") that LoadMessage must prefer once loaded. Plain
// code without library templates, so the object unloads again when the test closes it.
extern "C" __attribute__((visibility("default"))) int ZaroLoadString(unsigned id, char16_t* buffer, int capacity) {
  if (!buffer || capacity <= 0) return 0;
  const int repeat = id == 9000 ? 600 : id == 9001 ? 255 : 0;
  const char16_t* tail = id == 8010 ? u"Kit title" : id == 8001 ? u"kit 8001" : id == 9000 ? u"end" : u"";
  int n = 0;
  for (int i = 0; i < repeat && n < capacity - 1; ++i) buffer[n++] = id == 9000 ? u'x' : u'y';
  for (; *tail && n < capacity - 1; ++tail) buffer[n++] = *tail;
  buffer[n] = u'\0';
  return n;
}
