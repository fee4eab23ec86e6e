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

void BM_Add(benchmark::State& state) {
  Decimal a = D("1234.56"), b = D("0.0335");
  for (auto _ : state) {
    benchmark::DoNotOptimize(a);
    benchmark::DoNotOptimize(b);
    benchmark::DoNotOptimize(a + b);
  }
}
BENCHMARK(BM_Add);

void BM_Multiply(benchmark::State& state) {
  Decimal a = D("1234.56"), b = D("0.029");
  for (auto _ : state) {
    benchmark::DoNotOptimize(a);
    benchmark::DoNotOptimize(b);
    benchmark::DoNotOptimize(a * b);
  }
}
BENCHMARK(BM_Multiply);

void BM_Divide(benchmark::State& state) {
  Decimal a = D("1"), b = D("0.971");
  for (auto _ : state) {
    benchmark::DoNotOptimize(a);
    benchmark::DoNotOptimize(b);
    benchmark::DoNotOptimize(a / b);
  }
}
BENCHMARK(BM_Divide);

void BM_DivideExact(benchmark::State& state) {
  Decimal a = D("1000.00"), b = D("8");
  for (auto _ : state) {
    benchmark::DoNotOptimize(a);
    benchmark::DoNotOptimize(b);
    benchmark::DoNotOptimize(a / b);
  }
}
BENCHMARK(BM_DivideExact);

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
