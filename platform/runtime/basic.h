// The arithmetic the game is written in: 16-bit and 32-bit signed and 8-bit unsigned whole numbers
// whose every step is checked, rounding halves to even, 1-based checked arrays, and run-time errors
// that abandon a handler where they arise.
#pragma once

#include <QString>

#include <cmath>
#include <compare>
#include <concepts>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

// What the player asked for when an error arose, so that the report can speak of it.
enum class Task { Other, OpenPicture, Level };

struct RuntimeError {
    int number;
    QString description;
    // Errors the player can do something about are told in plain words, without the error number.
    bool plain = false;
    Task task = Task::Other;
    // What the player is told the task is about (may be empty): the levels there are, for a level
    // step; the picture's name, for an open.
    QString about = QString();
};

// Names the player's task, and what it is about, for the errors raised while this lives; tasks nest.
class DuringTask {
public:
    explicit DuringTask(Task task, QString about = QString());
    ~DuringTask();
    DuringTask(const DuringTask&) = delete;
    DuringTask& operator=(const DuringTask&) = delete;
    static Task Current();

private:
    Task outer_;
    QString outerAbout_;
};

namespace Err {
constexpr int Overflow = 6;
constexpr int OutOfMemory = 7;
constexpr int SubscriptOutOfRange = 9;
constexpr int DivisionByZero = 11;
constexpr int TypeMismatch = 13;
constexpr int InvalidProcedureCall = 5;
constexpr int InvalidPicture = 481;
}

// The usual description of an error number, as the error message names it.
QString ErrorDescription(int number);
[[noreturn]] void Raise(int number, const QString& extra = QString());

// A whole number of type T; every result that leaves T's range raises Overflow.
template <typename T> class Whole {
public:
    using Rep = T;
    constexpr Whole() = default;
    // Implicit, so literals and int results enter checked arithmetic; a value out of range raises.
    template <std::integral I>
    constexpr Whole(I x)
        : v_(narrow(x))
    {
    }
    // Between whole-number types the value is carried over, checked against the narrower range.
    template <typename U>
    constexpr Whole(Whole<U> x)
        : v_(narrow(x.v()))
    {
    }

    constexpr T v() const { return v_; }
    constexpr explicit operator double() const { return v_; }
    constexpr double d() const { return v_; }

    friend constexpr Whole operator+(Whole a, Whole b) { return Whole(static_cast<long long>(a.v_) + b.v_); }
    friend constexpr Whole operator-(Whole a, Whole b) { return Whole(static_cast<long long>(a.v_) - b.v_); }
    friend constexpr Whole operator*(Whole a, Whole b) { return Whole(static_cast<long long>(a.v_) * b.v_); }
    friend constexpr Whole operator+(Whole a, int b) { return a + Whole(b); }
    friend constexpr Whole operator-(Whole a, int b) { return a - Whole(b); }
    friend constexpr Whole operator*(Whole a, int b) { return a * Whole(b); }
    friend constexpr Whole operator+(int a, Whole b) { return Whole(a) + b; }
    friend constexpr Whole operator-(int a, Whole b) { return Whole(a) - b; }
    friend constexpr Whole operator*(int a, Whole b) { return Whole(a) * b; }
    constexpr Whole operator-() const { return Whole(-static_cast<long long>(v_)); }

    // Mixed with a real number the step is carried out in floating point, as the language does.
    friend constexpr double operator+(Whole a, double b) { return a.v_ + b; }
    friend constexpr double operator-(Whole a, double b) { return a.v_ - b; }
    friend constexpr double operator*(Whole a, double b) { return a.v_ * b; }
    friend constexpr double operator/(Whole a, double b) { return a.v_ / b; }
    friend constexpr double operator+(double a, Whole b) { return a + b.v_; }
    friend constexpr double operator-(double a, Whole b) { return a - b.v_; }
    friend constexpr double operator*(double a, Whole b) { return a * b.v_; }
    friend constexpr double operator/(double a, Whole b) { return a / b.v_; }
    // '/' is always real division in Basic; whole-number quotients are written with Int().
    friend constexpr double operator/(Whole a, Whole b) { return static_cast<double>(a.v_) / b.v_; }

    friend constexpr bool operator==(Whole a, Whole b) { return a.v_ == b.v_; }
    friend constexpr auto operator<=>(Whole a, Whole b) { return a.v_ <=> b.v_; }
    friend constexpr bool operator==(Whole a, int b) { return a.v_ == b; }
    friend constexpr auto operator<=>(Whole a, int b) { return static_cast<int>(a.v_) <=> b; }
    friend constexpr bool operator==(Whole a, double b) { return a.v_ == b; }
    friend constexpr auto operator<=>(Whole a, double b) { return static_cast<double>(a.v_) <=> b; }

private:
    template <std::integral I> static constexpr T narrow(I x)
    {
        if (!std::in_range<T>(x))
            Raise(Err::Overflow);
        return static_cast<T>(x);
    }
    T v_ = 0;
};

using Integer = Whole<std::int16_t>;
using Long = Whole<std::int32_t>;
using Byte = Whole<std::uint8_t>;
using Single = float;

// Real to whole number: nearest, halves to the even neighbour; NaN and out of range overflow.
double RoundHalfEven(double x);
Integer CInt(double x);
Long CLng(double x);
inline Integer CInt(Long x)
{
    return Integer(static_cast<long long>(x.v()));
}
// Int is the floor, still a real number as in Basic.
inline double Int(double x)
{
    return std::floor(x);
}

// A 1-based (or any-based) array whose bounds are checked on every access.
template <typename T> class Array {
public:
    void ReDim(long lo, long hi)
    {
        if (hi < lo - 1)
            Raise(Err::SubscriptOutOfRange);
        lo_ = lo;
        items_.assign(static_cast<std::size_t>(hi - lo + 1), T {});
    }
    long LBound() const { return lo_; }
    long UBound() const { return lo_ + static_cast<long>(items_.size()) - 1; }
    bool Contains(long i) const { return i >= lo_ && i <= UBound(); }

    T& operator()(long i) { return items_[index(i)]; }
    const T& operator()(long i) const { return items_[index(i)]; }
    template <typename U> T& operator()(Whole<U> i) { return (*this)(static_cast<long>(i.v())); }
    template <typename U> const T& operator()(Whole<U> i) const { return (*this)(static_cast<long>(i.v())); }

private:
    std::size_t index(long i) const
    {
        if (!Contains(i))
            Raise(Err::SubscriptOutOfRange);
        return static_cast<std::size_t>(i - lo_);
    }
    long lo_ = 1;
    std::vector<T> items_;
};

// Real division as the language does it: x / 0 is "Division by zero", 0 / 0 "Overflow".
double Div(double a, double b);

// A floating-point step that faulted (division by zero, overflow to infinity) raises its error,
// as the language checks every real operation.
double CheckReal(double x);
