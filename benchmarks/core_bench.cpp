// The decimal core alone, per operation, on typical money values.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "core/decimal.h"
#include "core/totals.h"

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

// The bill of bench.py: n lines in three priority groups (amounts,
// percentages, one grossed-up line). Its texts are views of characters kept
// here, as the module's are views of the caller's strs, so that copying the
// lines allocates only the vector.
std::vector<corbyl::LineItem> bill(int n) {
  static std::vector<std::unique_ptr<std::string>> kept;
  std::vector<corbyl::LineItem> out;
  for (int i = 0; i < n; ++i) {
    corbyl::LineItem l;
    l.id = i + 1;
    const int group = i * 3 / n;
    l.priority = static_cast<int16_t>(100 * group);
    if (group == 0) {
      const int cents = i % 100;
      // (appended piece by piece: GCC 12 warns falsely on string + string)
      std::string amount = std::to_string(10 + i);
      amount += cents < 10 ? ".0" : ".";
      amount += std::to_string(cents);
      kept.push_back(std::make_unique<std::string>(amount));
      l.amount.set_view(*kept.back(), nullptr);
      l.percentage = corbyl::Text::literal("0");
    } else {
      l.amount = corbyl::Text::literal(group == 1 ? "0.30" : "0.25");
      l.percentage = corbyl::Text::literal(group == 1 ? "2.5" : "2.9");
      l.back_into_percentage = i == n - 1;
    }
    out.push_back(l);
  }
  return out;
}

// The computation of the totals alone, without any conversion from or to
// Python; BM_CopyLines is the copy of the lines that each call makes here.
void BM_Totals(benchmark::State& state) {
  const auto lines = bill(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(corbyl::get_totals(lines, 2));
}
BENCHMARK(BM_Totals)->Arg(10)->Arg(100);

void BM_CopyLines(benchmark::State& state) {
  const auto lines = bill(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    auto copy = lines;
    benchmark::DoNotOptimize(copy);
  }
}
BENCHMARK(BM_CopyLines)->Arg(10)->Arg(100);

}  // namespace

BENCHMARK_MAIN();
