// Late-bound calls through the platform's type information against the same
// calls made through the vtable: GetIDsOfNames, Invoke of a two-long method
// and of a BSTR property get. Uses the test probe interface and the library
// the build compiles from its IDL.
#include <benchmark/benchmark.h>
#include <oleauto.h>

#include "testing/typelib_probe.h"

namespace {

ITypeInfo* ProbeInfo() { return ProbeTypeInfoFrom(u"" TYPELIB_PROBE_PATH_U); }

void GetIDsOfNamesThroughTypeInfo(benchmark::State& state) {
  ITypeInfo* info = ProbeInfo();
  OLECHAR name[] = u"concat";
  LPOLESTR names[] = {name};
  DISPID id = 0;
  for (auto _ : state) {
    info->GetIDsOfNames(names, 1, &id);
    benchmark::DoNotOptimize(id);
  }
}
BENCHMARK(GetIDsOfNamesThroughTypeInfo);

void InvokeTwoLongs(benchmark::State& state) {
  ITypeInfo* info = ProbeInfo();
  ProbeObject probe;
  VARIANT arguments[2] = {};
  arguments[0].vt = VT_I4;
  arguments[0].lVal = 2;
  arguments[1].vt = VT_I4;
  arguments[1].lVal = 40;
  DISPPARAMS params{arguments, nullptr, 2, 0};
  VARIANT result;
  VariantInit(&result);
  for (auto _ : state) {
    info->Invoke(static_cast<ITypelibProbe*>(&probe), 1, DISPATCH_METHOD, &params, &result, nullptr,
                 nullptr);
    benchmark::DoNotOptimize(result.lVal);
  }
}
BENCHMARK(InvokeTwoLongs);

void VtableTwoLongs(benchmark::State& state) {
  ProbeObject probe;
  ITypelibProbe* volatile target = &probe;
  LONG sum = 0;
  for (auto _ : state) {
    target->Add(40, 2, &sum);
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(VtableTwoLongs);

void InvokeStringPropertyGet(benchmark::State& state) {
  ITypeInfo* info = ProbeInfo();
  ProbeObject probe;
  probe.put_Name(const_cast<BSTR>(u"challenge"));
  DISPPARAMS params{nullptr, nullptr, 0, 0};
  VARIANT result;
  VariantInit(&result);
  for (auto _ : state) {
    info->Invoke(static_cast<ITypelibProbe*>(&probe), 3, DISPATCH_PROPERTYGET, &params, &result,
                 nullptr, nullptr);
    VariantClear(&result);
  }
}
BENCHMARK(InvokeStringPropertyGet);

void VtableStringPropertyGet(benchmark::State& state) {
  ProbeObject probe;
  probe.put_Name(const_cast<BSTR>(u"challenge"));
  ITypelibProbe* volatile target = &probe;
  for (auto _ : state) {
    BSTR value = nullptr;
    target->get_Name(&value);
    SysFreeString(value);
  }
}
BENCHMARK(VtableStringPropertyGet);

}  // namespace
