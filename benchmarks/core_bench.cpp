// The decimal core alone, per operation, on typical money values.
#include <benchmark/benchmark.h>

#include <string>

#include "decimal/decimal.h"

using corbyl::Decimal;

namespace {

Decimal D(const char* s) { return Decimal::parse(s).value; }

void BM_Parse(benchmark::State& state) {
  const std::string text = "1234.56";
  for (auto _ : state) {
    benchmark::DoNotOptimize(Decimal::parse(text));
  }
}
BENCHMARK(BM_Parse);

void BM_Print(benchmark::State& state) {
  const Decimal d = D("1234.56");
  char buf[Decimal::kMaxPrinted];
  for (auto _ : state) {
    benchmark::DoNotOptimize(d.print(buf));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Print);

// One arithmetic operation on two typical values.
template <Decimal (*Op)(const Decimal&, const Decimal&)>
void BM_Binary(benchmark::State& state, const char* a_text, const char* b_text) {
  Decimal a = D(a_text), b = D(b_text);
  for (auto _ : state) {
    benchmark::DoNotOptimize(a);
    benchmark::DoNotOptimize(b);
    benchmark::DoNotOptimize(Op(a, b));
  }
}

Decimal add(const Decimal& a, const Decimal& b) { return a + b; }
Decimal multiply(const Decimal& a, const Decimal& b) { return a * b; }
Decimal divide(const Decimal& a, const Decimal& b) { return a / b; }

// (the macro cannot take template arguments; the operation stays inlined in
// the timed loop)
constexpr auto BM_Add = BM_Binary<add>;
constexpr auto BM_Multiply = BM_Binary<multiply>;
constexpr auto BM_Divide = BM_Binary<divide>;
BENCHMARK_CAPTURE(BM_Add, typical, "1234.56", "0.0335")->Name("BM_Add");
BENCHMARK_CAPTURE(BM_Multiply, typical, "1234.56", "0.029")->Name("BM_Multiply");
BENCHMARK_CAPTURE(BM_Divide, typical, "1", "0.971")->Name("BM_Divide");
BENCHMARK_CAPTURE(BM_Divide, exact, "1000.00", "8")->Name("BM_DivideExact");

void BM_Quantize(benchmark::State& state) {
  Decimal a = D("35.801250");
  for (auto _ : state) {
    benchmark::DoNotOptimize(a);
    benchmark::DoNotOptimize(corbyl::quantize(a, 2));
  }
}
BENCHMARK(BM_Quantize);

}  // namespace

BENCHMARK_MAIN();
