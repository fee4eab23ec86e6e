#include "line_item.h"

#include <chrono>
#include <cstring>
#include <random>

namespace corbyl {
namespace {

// The key of the line hash: chosen at random once per process, as the
// interpreter does for its own strings, so that lines whose hashes collide
// cannot be prepared in advance.
struct HashKey {
  uint64_t k0, k1;
};

const HashKey& hash_key() {
  static const HashKey key = [] {
    uint64_t k[2];
    try {
      std::random_device device;
      for (auto& v : k) v = (uint64_t{device()} << 32) ^ device();
    } catch (...) {
      // no source of randomness: the clock and an address still differ
      // from one process to the next
      const auto now = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
      k[0] = now ^ reinterpret_cast<uintptr_t>(&k);
      k[1] = now * 0x9e3779b97f4a7c15ull;
    }
    return HashKey{k[0], k[1]};
  }();
  return key;
}

constexpr uint64_t rotl(uint64_t x, int b) { return (x << b) | (x >> (64 - b)); }

// SipHash-1-3 over a sequence of 64-bit words: one round per word, three to
// finish. Texts enter as their length and then their bytes, eight at a time.
class SipHash {
 public:
  explicit SipHash(const HashKey& k)
      : v0_(k.k0 ^ 0x736f6d6570736575ull),
        v1_(k.k1 ^ 0x646f72616e646f6dull),
        v2_(k.k0 ^ 0x6c7967656e657261ull),
        v3_(k.k1 ^ 0x7465646279746573ull) {}

  void word(uint64_t m) {
    v3_ ^= m;
    round();
    v0_ ^= m;
    ++words_;
  }

  void text(std::string_view t) {
    const size_t n = t.size();
    const char* p = t.data();
    word(n);
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
      uint64_t m;
      std::memcpy(&m, p + i, 8);
      word(m);
    }
    if (i < n) {
      uint64_t m = 0;
      std::memcpy(&m, p + i, n - i);
      word(m);
    }
  }

  uint64_t finish() {
    word(words_);
    v2_ ^= 0xff;
    round();
    round();
    round();
    return v0_ ^ v1_ ^ v2_ ^ v3_;
  }

 private:
  void round() {
    v0_ += v1_;
    v1_ = rotl(v1_, 13);
    v1_ ^= v0_;
    v0_ = rotl(v0_, 32);
    v2_ += v3_;
    v3_ = rotl(v3_, 16);
    v3_ ^= v2_;
    v0_ += v3_;
    v3_ = rotl(v3_, 21);
    v3_ ^= v0_;
    v2_ += v1_;
    v1_ = rotl(v1_, 17);
    v1_ ^= v2_;
    v2_ = rotl(v2_, 32);
  }

  uint64_t v0_, v1_, v2_, v3_;
  uint64_t words_ = 0;
};

}  // namespace

uint64_t hash_value(const LineItem& l) {
  SipHash h(hash_key());
  // the small fields packed into two words, then the optional number and
  // every byte of the texts
  h.word(uint64_t{static_cast<uint32_t>(l.id)} | uint64_t{static_cast<uint16_t>(l.priority)} << 32 |
         uint64_t{value_of(l.kind)} << 48);
  h.word(uint64_t{value_of(l.category)} | uint64_t{value_of(l.destination_account)} << 16 |
         uint64_t{l.back_into_percentage} << 32 | uint64_t{l.frozen_value.has_value()} << 33 |
         uint64_t{l.destination_user_id.has_value()} << 34);
  if (l.destination_user_id) h.word(static_cast<uint64_t>(*l.destination_user_id));
  h.text(l.amount);
  h.text(l.description);
  if (l.frozen_value) h.text(*l.frozen_value);
  h.text(l.percentage);
  return h.finish();
}

uint64_t id_hash(int32_t id) {
  // a bijection of the id and the key: distinct ids never share a hash, and
  // which of them share a bucket cannot be foreseen
  uint64_t x = uint64_t{static_cast<uint32_t>(id)} ^ hash_key().k0;
  x ^= x >> 30;
  x *= 0xbf58476d1ce4e5b9ull;
  x ^= x >> 27;
  x *= 0x94d049bb133111ebull;
  return x ^ (x >> 31);
}

}  // namespace corbyl
