// Text values and byte blocks.
//
// String is the text of the whole system: a zero-terminated byte string in
// the ANSI code page, never holding an embedded zero byte.  Lengths,
// indices and comparisons are in bytes.  Text () exposes the bytes (valid
// until the next change), Length () their count, CharAt (i) one of them.
//
// Buffer rules, which callers rely on to make room ahead of time:
//   1. Buffers are replaced, never grown in place: every assignment or
//      append allocates a new buffer and only then releases the old one, so
//      a source that lies inside this String (itself, or a pointer into its
//      text) yields what a prior copy of it would.
//   2. Each new buffer is the larger of what the text needs (length + 1)
//      and minSize; minSize is set by the reserve of the text constructor
//      (reserve + 1, at least 1) and is 1 for every other constructor,
//      copies included.  BufferSize () reports the current allocation.
//
// The free functions take plain zero-terminated text (an absent text is
// read as "") and return a new String; each has a String overload that
// reads Text ().  Inputs the callers never pass are given sound meanings:
// Substring clamps a start that is still negative after the length is
// added to 0, and answers "" for a start at or past the end; Find answers
// -1 for a start past the end and searches from 0 for a negative start;
// ReplaceAll with an empty or absent search text returns the text
// unchanged.
//
// ByteBuffer is an owned block of bytes; String::Encode produces one.  Its
// Print writes a hex dump of 20 bytes per line.
//
// Allocation failure: MakeCopy answers absent with the last error set to
// ERROR_NOT_ENOUGH_MEMORY; every other operation treats allocation as
// infallible and ends the process with a line on standard error when it is
// not, rather than go on with a String that has no text.
//
// Include this header as "common/foundation/string.h", never with
// common/foundation on the include path, where it would shadow <string.h>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "common/foundation/object.h"

class ByteBuffer : public Object {
public:
    ByteBuffer();                              // data absent, size 0
    ByteBuffer(const ByteBuffer& other);       // a copy of other's bytes
    ByteBuffer(ByteBuffer&& other) noexcept;   // takes other's block; other becomes empty
    ByteBuffer& operator=(const ByteBuffer& other);
    ByteBuffer& operator=(ByteBuffer&& other) noexcept;
    ~ByteBuffer() override;

    // The hex dump: 20 bytes a line as upper-case hex in groups of four,
    // then the printable bytes (0x20..0x7E, others as ".") in the same
    // groups, aligned in one column for full and partial lines.  The stream
    // is flushed after the full lines.  An empty buffer writes nothing.
    void Print(std::FILE* stream, int n) const override;
    // -1 when other is not a ByteBuffer; 0 for equal contents; otherwise
    // the sign of the first differing byte (unsigned), a prefix being the
    // smaller.
    int Compare(const Object* other) const override;
    // A copy, or absent (last error ERROR_NOT_ENOUGH_MEMORY).
    Object* MakeCopy() const override;

    // When release is non-zero, frees the current block first; then owns
    // block, which must come from new std::uint8_t[], and its size.
    void Adopt(std::uint8_t* block, std::uint32_t blockBytes, int release);
    // Same size and identical bytes; two empty buffers are equal.
    bool Equal(const ByteBuffer& other) const;

    std::uint8_t* data;  // the bytes, owned; absent when size is 0 and nothing was adopted
    std::uint32_t size;  // number of bytes in data
};

class String : public Object {
public:
    String();                                        // "", buffer 1, minSize 1
    String(const String& s);                         // s's text, exact buffer, minSize 1
    // t ("" when absent) in a buffer of at least reserve + 1 bytes; minSize
    // becomes reserve + 1 (at least 1).
    String(const char* t, std::int32_t reserve = 0);  // NOLINT: implicit on purpose
    // v in radix b (above 36 taken as 36, below 2 as 10); digits 0-9 then
    // lower-case a-z, no padding.  A minus sign only in radix 10; other
    // radixes write the 32-bit pattern as unsigned.
    String(std::int32_t v, int radix);
    // v in radix b, as unsigned in every radix.
    String(std::uint32_t v, int radix);
    ~String() override;

    String& operator=(const String& s);   // new buffer of max (length + 1, minSize)
    String& operator=(const char* t);     // absent stores ""
    String& operator+=(const String& s);  // appending itself doubles the text
    String& operator+=(const char* t);    // absent leaves the String unchanged

    bool operator==(const String& other) const;  // byte-for-byte identical
    bool operator==(const char* t) const;        // false when t is absent

    // Writes the text and nothing else.
    void Print(std::FILE* stream, int n) const override;
    // -1 when other is not a String; else the sign of an unsigned byte-wise
    // comparison, a prefix being the smaller.
    int Compare(const Object* other) const override;
    // A copy, or absent (last error ERROR_NOT_ENOUGH_MEMORY).
    Object* MakeCopy() const override;
    // The text as a BER OCTET STRING (tag 0x04, shortest definite length).
    virtual ByteBuffer Encode() const;

    const char* Text() const { return text; }
    // Byte i; no range check.  Callers keep 0 <= i <= Length (); writing
    // the terminator position cuts the text.
    char& CharAt(std::int32_t i) { return text[i]; }
    char CharAt(std::int32_t i) const { return text[i]; }
    std::int32_t Length() const;
    std::int32_t BufferSize() const { return bufferSize; }
    // A trailing "h" means hexadecimal, a leading "0x" (text longer than
    // two bytes) too, otherwise decimal; reading stops at the first byte
    // that is not part of the number; 0 when nothing could be read.
    std::int32_t ToInteger() const;

    char* text;            // the zero-terminated text, owned, never absent
    std::int32_t minSize;  // smallest buffer every later change allocates, >= 1

private:
    struct Adopting {};  // keeps the adopting constructor apart from String (char*, reserve)
    String(Adopting, char* adopted, std::int32_t bytes);  // takes a filled buffer; minSize 1

    // Replaces the buffer with one of max (needed, minSize) bytes holding
    // the two parts one after the other; the old buffer is freed last.
    void Replace(const char* first, std::size_t firstLength, const char* second, std::size_t secondLength);

    std::int32_t bufferSize;  // bytes allocated for text, terminator included
};

String operator+(const String& left, const String& right);
String operator+(const String& left, const char* t);   // a copy of left when t is absent
String operator+(const char* t, const String& right);  // "" + right when t is absent
String operator+(const String& left, char ch);

String UpperCase(const char* t);
String UpperCase(const String& t);
String LowerCase(const char* t);
String LowerCase(const String& t);
// count bytes of t from start; a negative start counts from the end.
String Substring(const char* t, std::int32_t start, std::int32_t count);
String Substring(const String& t, std::int32_t start, std::int32_t count);
// Index in t of the first s at or after start, -1 when none.
std::int32_t Find(const char* t, const char* s, std::int32_t start = 0);
std::int32_t Find(const String& t, const char* s, std::int32_t start = 0);
// Every non-overlapping s in t replaced by r (nothing when r is absent);
// inserted text is not searched again.
String ReplaceAll(const char* t, const char* s, const char* r);
String ReplaceAll(const String& t, const char* s, const char* r);
String Repeat(const char* t, std::int32_t n);  // "" when n <= 0
String Repeat(const String& t, std::int32_t n);
String Fill(char ch, std::int32_t n);  // "" when n <= 0
