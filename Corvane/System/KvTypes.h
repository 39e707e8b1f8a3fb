// Fixed-width scalar types and the engine's numeric constants, used by every engine and game file.
#pragma once

#include <cstddef>
#include <cstdint>

typedef std::uint8_t u8;
typedef std::uint16_t u16;
typedef std::uint32_t u32;
typedef std::uint64_t u64;
typedef std::int8_t i8;
typedef std::int16_t i16;
typedef std::int32_t i32;
typedef std::int64_t i64;
typedef float f32;
typedef double f64;

// A 16-bit UTF-16 code unit; wide engine text is always UTF-16, whatever the size of wchar_t.
typedef char16_t wchar16;

#define KV_FLOAT(x) (static_cast<f32>(x))

inline constexpr f32 KV_ZERO = 0.0f;
inline constexpr f32 KV_ONE = 1.0f;
inline constexpr f32 KV_EPSILON = 0.0001f;

// Paths and names hold up to 768 characters; temporary conversions 4096.
inline constexpr i32 KV_MAX_PATH_LEN = 768;
inline constexpr i32 gc_iMAX_TEMP_STRING_LEN = 4096;
