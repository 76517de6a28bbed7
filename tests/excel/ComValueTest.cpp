// The COM edge's conversions in one process: VARIANT <-> CellValue with every kind and
// subkind, value arrays of every lower bound and shape, and HRESULTs to causes and reasons.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>

#include "host/excel/ComSupport.h"

namespace gridmoor {
namespace {

using com::Variant;
using Cause = HostError::Cause;

// --- VARIANT -> CellValue ---

struct FromVariantCase {
    const char* name;
    Variant (*make)();
    CellValue expected;
};

Variant makeRaw(VARTYPE vt, auto fill) {
    Variant v;
    VARIANT* raw = v.put();
    raw->vt = vt;
    fill(*raw);
    return v;
}

// Test names and failure messages show the case's name, not its bytes.
void PrintTo(const FromVariantCase& c, std::ostream* os) {
    *os << c.name;
}

class FromVariant : public testing::TestWithParam<FromVariantCase> {};

TEST_P(FromVariant, GivesTheCellValueWithItsSubkind) {
    const Variant v = GetParam().make();
    const CellValue got = com::toCellValue(v.get());
    EXPECT_TRUE(identical(got, GetParam().expected))
        << describe(got) << " instead of " << describe(GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, FromVariant,
    testing::Values(
        FromVariantCase{"empty", [] { return Variant(); }, CellValue()},
        FromVariantCase{"null", [] { return makeRaw(VT_NULL, [](VARIANT&) {}); }, CellValue()},
        FromVariantCase{"i2", [] { return Variant::i2(-4122); }, CellValue::integer(-4122)},
        FromVariantCase{"i4", [] { return Variant::i4(2147483647); },
                        CellValue::integer(2147483647)},
        FromVariantCase{"ui1", [] { return makeRaw(VT_UI1, [](VARIANT& r) { r.bVal = 200; }); },
                        CellValue::integer(200)},
        FromVariantCase{"i8",
                        [] { return makeRaw(VT_I8, [](VARIANT& r) { r.llVal = 1LL << 40; }); },
                        CellValue::integer(1LL << 40)},
        FromVariantCase{"r8", [] { return makeRaw(VT_R8, [](VARIANT& r) { r.dblVal = 1.5; }); },
                        CellValue::floating(1.5)},
        FromVariantCase{"r4", [] { return makeRaw(VT_R4, [](VARIANT& r) { r.fltVal = 0.25f; }); },
                        CellValue::floating(0.25)},
        FromVariantCase{"currency",
                        [] { return makeRaw(VT_CY, [](VARIANT& r) { r.cyVal.int64 = 12345; }); },
                        CellValue::currency(12345)},
        FromVariantCase{"date",
                        [] { return makeRaw(VT_DATE, [](VARIANT& r) { r.date = 45000.5; }); },
                        CellValue::date(45000.5)},
        FromVariantCase{"true", [] { return Variant::boolean(true); }, CellValue::boolean(true)},
        FromVariantCase{"false", [] { return Variant::boolean(false); }, CellValue::boolean(false)},
        FromVariantCase{"text", [] { return Variant::text(L"合并 a&b"); },
                        CellValue::text("合并 a&b")},
        FromVariantCase{"emptyText", [] { return Variant::text(L""); }, CellValue::text("")},
        FromVariantCase{"divZero", [] { return Variant::error(static_cast<SCODE>(0x800A07D7)); },
                        CellValue::error(2007)},
        FromVariantCase{"notAvailable",
                        [] { return Variant::error(static_cast<SCODE>(0x800A07FA)); },
                        CellValue::error(2042)}),
    [](const testing::TestParamInfo<FromVariantCase>& p) { return std::string(p.param.name); });

TEST(FromVariantOther, DecimalBecomesFloating) {
    Variant v;
    VARIANT* raw = v.put();
    raw->vt = VT_R8;
    raw->dblVal = 2.75;
    ASSERT_EQ(VariantChangeType(raw, raw, 0, VT_DECIMAL), S_OK);
    EXPECT_TRUE(identical(com::toCellValue(v.get()), CellValue::floating(2.75)));
}

TEST(FromVariantOther, ObjectsAndByReferenceValuesAreRefused) {
    for (const VARTYPE vt :
         {VARTYPE(VT_DISPATCH), VARTYPE(VT_UNKNOWN), VARTYPE(VT_I4 | VT_BYREF)}) {
        VARIANT raw;
        VariantInit(&raw);
        raw.vt = vt;
        raw.punkVal = nullptr;
        try {
            com::toCellValue(raw);
            ADD_FAILURE() << "VARIANT type " << vt << " was accepted";
        } catch (const HostError& e) {
            EXPECT_EQ(e.cause(), Cause::BadArgument);
        }
    }
}

// --- CellValue -> VARIANT -> CellValue ---

struct RoundTripCase {
    CellValue value;
    VARTYPE vt;
};

// Failure messages show the value and the VARIANT type it should travel as.
void PrintTo(const RoundTripCase& c, std::ostream* os) {
    *os << describe(c.value) << " as vt " << c.vt;
}

class RoundTrip : public testing::TestWithParam<RoundTripCase> {};

TEST_P(RoundTrip, KeepsKindSubkindAndPayload) {
    const auto& [value, vt] = GetParam();
    const Variant v = com::toVariant(value);
    EXPECT_EQ(v.type(), vt);
    const CellValue back = com::toCellValue(v.get());
    EXPECT_TRUE(identical(back, value)) << describe(back) << " instead of " << describe(value);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, RoundTrip,
    testing::Values(RoundTripCase{CellValue(), VARTYPE(VT_EMPTY)},
                    RoundTripCase{CellValue::integer(-7), VARTYPE(VT_I4)},
                    RoundTripCase{CellValue::floating(-0.1), VARTYPE(VT_R8)},
                    RoundTripCase{CellValue::currency(-999999), VARTYPE(VT_CY)},
                    RoundTripCase{CellValue::date(1.25), VARTYPE(VT_DATE)},
                    RoundTripCase{CellValue::boolean(true), VARTYPE(VT_BOOL)},
                    RoundTripCase{CellValue::boolean(false), VARTYPE(VT_BOOL)},
                    RoundTripCase{CellValue::text("当前工作簿名称: 😀"), VARTYPE(VT_BSTR)},
                    RoundTripCase{CellValue::error(2042), VARTYPE(VT_ERROR)}),
    [](const testing::TestParamInfo<RoundTripCase>& p) {
        return "vt" + std::to_string(p.param.vt) + "_" + std::to_string(p.index);
    });

TEST(ToVariant, IntegersBeyond32BitsTravelAsDoubles) {
    const Variant v = com::toVariant(CellValue::integer(1LL << 40));
    ASSERT_EQ(v.type(), VT_R8);
    EXPECT_EQ(v.get().dblVal, 1099511627776.0);
}

TEST(ToVariant, ErrorValuesUseTheApplicationsFacility) {
    const Variant v = com::toVariant(CellValue::error(2007));
    ASSERT_EQ(v.type(), VT_ERROR);
    EXPECT_EQ(static_cast<std::uint32_t>(v.get().scode), 0x800A07D7u);
}

// --- value arrays ---

// A rows x columns array filled through SafeArrayPutElement with {row, column} indices,
// the way automation clients address Excel's value arrays.
Variant arrayByElements(long rows, long columns, long lowRow, long lowColumn) {
    SAFEARRAYBOUND b[2];
    b[0].lLbound = lowRow;
    b[0].cElements = static_cast<ULONG>(rows);
    b[1].lLbound = lowColumn;
    b[1].cElements = static_cast<ULONG>(columns);
    com::SafeArray a = com::SafeArray::adopt(SafeArrayCreate(VT_VARIANT, 2, b));
    for (long r = 0; r < rows; ++r) {
        for (long c = 0; c < columns; ++c) {
            LONG index[2] = {lowRow + r, lowColumn + c};
            Variant v = Variant::i4(static_cast<std::int32_t>(10 * (r + 1) + (c + 1)));
            EXPECT_EQ(SafeArrayPutElement(a.get(), index, const_cast<VARIANT*>(&v.get())), S_OK);
        }
    }
    Variant out;
    VARIANT* raw = out.put();
    raw->vt = VT_ARRAY | VT_VARIANT;
    raw->parray = a.detach();
    return out;
}

TEST(ValueArrays, ReadRowsByColumnsFromOneWhateverTheLowerBounds) {
    for (const auto& [lowRow, lowColumn] :
         {std::pair{1L, 1L}, std::pair{0L, 0L}, std::pair{-3L, 5L}}) {
        const Variant v = arrayByElements(2, 3, lowRow, lowColumn);
        const RangeValue got = com::toRangeValue(v.get());
        ASSERT_TRUE(got.isArray());
        ASSERT_EQ(got.array().rows(), 2);
        ASSERT_EQ(got.array().columns(), 3);
        for (long r = 1; r <= 2; ++r) {
            for (long c = 1; c <= 3; ++c) {
                EXPECT_TRUE(identical(got.at(r, c), CellValue::integer(10 * r + c)))
                    << "element " << r << "," << c << " is " << describe(got.at(r, c));
            }
        }
    }
}

TEST(ValueArrays, WrittenArrayIsOneBasedRowsByColumns) {
    ValueArray values(3, 2);
    values.at(1, 1) = CellValue::text("a");
    values.at(3, 2) = CellValue::date(2.5);
    values.at(2, 1) = CellValue::boolean(true);
    const Variant v = com::toVariant(values);
    ASSERT_EQ(v.type(), VT_ARRAY | VT_VARIANT);
    SAFEARRAY* a = v.get().parray;
    ASSERT_EQ(SafeArrayGetDim(a), 2u);
    LONG low = 0, high = 0;
    SafeArrayGetLBound(a, 1, &low);
    SafeArrayGetUBound(a, 1, &high);
    EXPECT_EQ(low, 1);
    EXPECT_EQ(high, 3);
    SafeArrayGetLBound(a, 2, &low);
    SafeArrayGetUBound(a, 2, &high);
    EXPECT_EQ(low, 1);
    EXPECT_EQ(high, 2);
    for (long r = 1; r <= 3; ++r) {
        for (long c = 1; c <= 2; ++c) {
            LONG index[2] = {r, c};
            Variant element;
            ASSERT_EQ(SafeArrayGetElement(a, index, element.put()), S_OK);
            EXPECT_TRUE(identical(com::toCellValue(element.get()), values.at(r, c)))
                << "element " << r << "," << c;
        }
    }
    const RangeValue back = com::toRangeValue(v.get());
    EXPECT_TRUE(identical(back.at(3, 2), CellValue::date(2.5)));
}

TEST(ValueArrays, OtherShapesAreRefused) {
    SAFEARRAYBOUND b{3, 1};
    com::SafeArray a = com::SafeArray::adopt(SafeArrayCreate(VT_VARIANT, 1, &b));
    VARIANT raw;
    VariantInit(&raw);
    raw.vt = VT_ARRAY | VT_VARIANT;
    raw.parray = a.get();
    EXPECT_THROW(com::toRangeValue(raw), HostError);
}

// --- HRESULT causes ---

TEST(Causes, EachFamilyMapsToItsCause) {
    const std::pair<std::uint32_t, Cause> table[] = {
        {0x800706BAu, Cause::Gone},        {0x80010108u, Cause::Gone},
        {0x80010007u, Cause::Gone},        {0x800401FDu, Cause::Gone},
        {0x80010001u, Cause::Busy},        {0x8001010Au, Cause::Busy},
        {0x800AC472u, Cause::Busy},        {0x8002000Bu, Cause::NotFound},
        {0x80020005u, Cause::BadArgument}, {0x80070057u, Cause::BadArgument},
        {0x8002000Eu, Cause::BadArgument}, {0x80070005u, Cause::Protected},
        {0x800A03ECu, Cause::Other},       {0x80004005u, Cause::Other},
    };
    for (const auto& [hr, cause] : table) {
        EXPECT_EQ(com::causeOf(static_cast<HRESULT>(hr)), cause)
            << com::hex(static_cast<HRESULT>(hr));
    }
}

TEST(Causes, ReasonCarriesWhatDescriptionAndCode) {
    const HostError e = com::hostError(static_cast<HRESULT>(0x800A03ECu), "Range.Merge",
                                       L"无法对受保护的工作表执行此操作。\r\n");
    EXPECT_STREQ(e.what(), "Range.Merge: 无法对受保护的工作表执行此操作。 (0x800A03EC)");
}

}  // namespace
}  // namespace gridmoor
