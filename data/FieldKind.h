#pragma once

namespace quillon::data {

// The kind numbers of result fields; the numbers are part of the program's
// vocabulary (the viewer and transfer commands test them).
enum class FieldKind : int {
  ftUnknown = 0,
  ftString = 1,
  ftSmallint = 2,
  ftInteger = 3,
  ftWord = 4,
  ftBoolean = 5,
  ftFloat = 6,
  ftCurrency = 7,
  ftBCD = 8,
  ftDate = 9,
  ftTime = 10,
  ftDateTime = 11,
  ftBytes = 12,
  ftVarBytes = 13,
  ftAutoInc = 14,
  ftBlob = 15,
  ftMemo = 16,
  ftGraphic = 17,
  ftFmtMemo = 18,
  ftWideString = 24,
  ftLargeint = 25,
  ftDataSet = 29,
  ftVariant = 32,
  ftInterface = 33,
  ftIDispatch = 34,
  ftGuid = 35,
};

// Kinds 15 to 18 hold large values (BLOB, text and image columns).
constexpr bool isLargeValueKind(FieldKind kind) {
  return kind == FieldKind::ftBlob || kind == FieldKind::ftMemo || kind == FieldKind::ftGraphic ||
         kind == FieldKind::ftFmtMemo;
}

// Kinds whose values are whole numbers (booleans aside).
constexpr bool isWholeNumberKind(FieldKind kind) {
  return kind == FieldKind::ftSmallint || kind == FieldKind::ftInteger ||
         kind == FieldKind::ftWord || kind == FieldKind::ftAutoInc || kind == FieldKind::ftLargeint;
}

// Kinds whose values are plain text of a declared length.
constexpr bool isTextKind(FieldKind kind) {
  return kind == FieldKind::ftString || kind == FieldKind::ftWideString;
}

} // namespace quillon::data
