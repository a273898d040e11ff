// Arbitrary bytes as a state chunk: the parameter readers, the string and value gets and the
// preset-list reader must answer -1 or a position inside the chunk, never read outside it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "TestPlug.h"

namespace {

TestPlug* makePlug() {
  static TestPlug plug(64, "2-2", 4, 16);  // 16 host-visible, 48 hidden
  for (int i = 0; i < plug.NParams(); ++i) {
    IParam* p = plug.GetParam(i);
    switch (i % 4) {
      case 0: p->InitBool("b", false); break;
      case 1: p->InitEnum("e", 0, 8); break;
      case 2: p->InitInt("i", 0, -10, 10); break;
      default: p->InitDouble("d", 0.5, 0.0, 1.0, 0.01); break;
    }
  }
  return &plug;
}

void checkAt(bool ok, int line) {
  if (!ok) {
    fprintf(stderr, "chunk_fuzz: check at line %d failed\n", line);
    abort();
  }
}
#define check(ok) checkAt((ok), __LINE__)

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TestPlug* plug = makePlug();
  if (size > (1u << 20)) return 0;
  ByteChunk c;
  if (size) c.PutBytes(data, static_cast<int>(size));
  int start = size ? data[0] % 32 : 0;
  int n = size > 1 ? data[1] : 0;

  int p = plug->UnserializeParams(&c, start);
  check(p == -1 || (p >= 0 && p <= c.Size()));
  p = plug->UnserializeNonAutomatedParams(&c, start, n);
  check(p == -1 || (p >= 0 && p <= c.Size()) || p == start);
  for (int i = 0; i < plug->NParams(); ++i) {
    IParam* prm = plug->GetParam(i);
    if (!prm) continue;  // never null here; the check keeps gcc from warning on the atomic load
    check(!(prm->Value() < prm->GetMin()) && !(prm->Value() > prm->GetMax()));
    char buf[IParam::kDisplayMaxLen];
    prm->GetDisplayForHost(prm->Value(), false, buf);
  }

  // A chain of string and value gets walks the whole chunk.
  int pos = start;
  for (int k = 0; k < 64 && pos >= 0; ++k) {
    std::string s;
    UTIL_String u;
    int q = c.GetStr(&s, pos);
    check(q == -1 || (q > pos && q <= c.Size() && s.size() <= static_cast<size_t>(q - pos - 4)));
    check(c.GetStr(&u, pos) == q);
    double d;
    int iv;
    bool b;
    int r = c.Get(&d, pos);
    check(r == -1 || r == pos + 8);
    r = c.Get(&iv, pos);
    check(r == -1 || r == pos + 4);
    r = c.Get(&b, pos);
    check(r == -1 || r == pos + 1);
    pos = q;
  }
  int vp = start;
  GetIPluginVerFromChunk(&c, &vp);
  check(vp == -1 || vp == start || (vp == start + 8 && vp <= c.Size()));

  int pp = plug->UnserializePresets(&c, start);
  check(pp == -1 || (pp >= 0 && pp <= c.Size()));
  return 0;
}
