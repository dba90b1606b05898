// The arithmetic the game's rules are written in: 16-bit and 32-bit signed and 8-bit unsigned whole
// numbers whose every step is checked, rounding halves to even, 1-based checked arrays, and the
// errors that abandon a handler where they arise. Its words are kinds and figures; the sentences
// the player reads are the game's.
#pragma once

#include <QString>

#include <cmath>
#include <compare>
#include <concepts>
#include <cstdint>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

// What stopped a step of the game, as a kind the game tells the player about in its own words.
enum class Fault { Overflow, OutOfMemory, IndexOutOfRange, DivisionByZero, NotANumber, UnreadablePicture };

struct GameError {
    Fault fault;
    // The figure that left its range, where there was one, so that the report can name it.
    std::optional<double> figure = std::nullopt;
    // A sentence already written for the player (a refused picture and why); empty for the rest.
    QString message = QString();
    // What the player was doing when the step stopped (see ErrorContext).
    int task = 0;
    QString about = QString();
};

// The player's task while this lives, which the errors raised meanwhile carry; tasks nest. The game
// gives the numbers their meaning; 0 is no task in particular. "about" is what the task is about
// (a file's name, the levels there are).
class ErrorContext {
public:
    explicit ErrorContext(int task, QString about = QString());
    ~ErrorContext();
    ErrorContext(const ErrorContext&) = delete;
    ErrorContext& operator=(const ErrorContext&) = delete;
    static int Current();

private:
    int outer_;
    QString outerAbout_;
};

[[noreturn]] void Raise(Fault fault, std::optional<double> figure = std::nullopt);

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

    // Mixed with a real number the step is carried out in floating point: the rules keep a real
    // result real until they round it.
    friend constexpr double operator+(Whole a, double b) { return a.v_ + b; }
    friend constexpr double operator-(Whole a, double b) { return a.v_ - b; }
    friend constexpr double operator*(Whole a, double b) { return a.v_ * b; }
    friend constexpr double operator/(Whole a, double b) { return a.v_ / b; }
    friend constexpr double operator+(double a, Whole b) { return a + b.v_; }
    friend constexpr double operator-(double a, Whole b) { return a - b.v_; }
    friend constexpr double operator*(double a, Whole b) { return a * b.v_; }
    friend constexpr double operator/(double a, Whole b) { return a / b.v_; }
    // Division of whole numbers is real division in the rules; a whole quotient is written Int(a / b).
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
            Raise(Fault::Overflow, static_cast<double>(x));
        return static_cast<T>(x);
    }
    T v_ = 0;
};

using Int16 = Whole<std::int16_t>;
using Int32 = Whole<std::int32_t>;
using UInt8 = Whole<std::uint8_t>;

// Real to whole number: nearest, halves to the even neighbour; NaN and out of range overflow.
double RoundHalfEven(double x);
Int16 RoundToInt16(double x);
Int32 RoundToInt32(double x);
// Int is the floor, still a real number, so that the rules' cell formulas round it once, explicitly.
inline double Int(double x)
{
    return std::floor(x);
}

// A 1-based (or any-based) array whose bounds are checked on every access.
template <typename T> class Array {
public:
    void Recreate(long lo, long hi)
    {
        if (hi < lo - 1)
            Raise(Fault::IndexOutOfRange);
        lo_ = lo;
        items_.assign(static_cast<std::size_t>(hi - lo + 1), T {});
    }
    long Lower() const { return lo_; }
    long Upper() const { return lo_ + static_cast<long>(items_.size()) - 1; }
    bool Contains(long i) const { return i >= lo_ && i <= Upper(); }

    T& operator()(long i) { return items_[index(i)]; }
    const T& operator()(long i) const { return items_[index(i)]; }
    template <typename U> T& operator()(Whole<U> i) { return (*this)(static_cast<long>(i.v())); }
    template <typename U> const T& operator()(Whole<U> i) const { return (*this)(static_cast<long>(i.v())); }

private:
    std::size_t index(long i) const
    {
        if (!Contains(i))
            Raise(Fault::IndexOutOfRange);
        return static_cast<std::size_t>(i - lo_);
    }
    long lo_ = 1;
    std::vector<T> items_;
};

// Real division, checked: x / 0 is a division by zero; 0 / 0 has no value at all and counts as
// an overflow, as every other real step without a finite result.
double Div(double a, double b);

// A floating-point step whose result is not a finite number (an overflow to infinity, a value
// without meaning) raises an overflow: the rules never go on with such a figure.
double CheckReal(double x);
