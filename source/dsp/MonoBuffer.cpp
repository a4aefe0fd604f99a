#include "dsp/MonoBuffer.h"

#include <algorithm>
#include "dsp/AudioThread.h"

namespace tonewright {

MonoBuffer::MonoBuffer() { CheckBuffer(1); }

void MonoBuffer::Reserve(int n)
{
    if (n <= capacity) return;
    CheckOffAudioThread("growing a sample buffer");
    auto grown = std::make_unique<double[]>(static_cast<size_t>(n));
    std::copy(storage.get(), storage.get() + count, grown.get());
    std::fill(grown.get() + count, grown.get() + n, 0.0);
    storage = std::move(grown);
    capacity = n;
}

void MonoBuffer::CheckBuffer(int n)
{
    if (n < 0) n = 0;
    if (n == count) return;
    if (n > capacity) {
        CheckOffAudioThread("growing a sample buffer");
        storage = std::make_unique<double[]>(static_cast<size_t>(n));
        capacity = n;
    }
    std::fill(storage.get(), storage.get() + n, 0.0);
    count = n;
}

void MonoBuffer::Clear() { std::fill(storage.get(), storage.get() + count, 0.0); }

void MonoBuffer::Clear(int n)
{
    CheckBuffer(n);
    Clear();
}

void MonoBuffer::Set(const double* s) { std::copy(s, s + count, storage.get()); }

void MonoBuffer::Set(const double* s, int n)
{
    CheckBuffer(n);
    Set(s);
}

void MonoBuffer::SetInverted(const double* s)
{
    for (int i = 0; i < count; ++i) storage[i] = -s[i];
}

void MonoBuffer::SetInverted(const double* s, int n)
{
    CheckBuffer(n);
    SetInverted(s);
}

void MonoBuffer::Get(double* s) const { std::copy(storage.get(), storage.get() + count, s); }

void MonoBuffer::Get(double* s, int n)
{
    CheckBuffer(n);
    Get(s);
}

void MonoBuffer::GetInverted(double* s) const
{
    for (int i = 0; i < count; ++i) s[i] = -storage[i];
}

void MonoBuffer::GetInverted(double* s, int n)
{
    CheckBuffer(n);
    GetInverted(s);
}

void MonoBuffer::Add(const double* s)
{
    for (int i = 0; i < count; ++i) storage[i] += s[i];
}

void MonoBuffer::Add(const double* s, int n)
{
    CheckBuffer(n);
    Add(s);
}

void MonoBuffer::Subtract(const double* s)
{
    for (int i = 0; i < count; ++i) storage[i] -= s[i];
}

void MonoBuffer::Subtract(const double* s, int n)
{
    CheckBuffer(n);
    Subtract(s);
}

void MonoBuffer::Multiply(const double* s)
{
    for (int i = 0; i < count; ++i) storage[i] *= s[i];
}

void MonoBuffer::Multiply(const double* s, int n)
{
    CheckBuffer(n);
    Multiply(s);
}

void MonoBuffer::Scale(double g)
{
    for (int i = 0; i < count; ++i) storage[i] *= g;
}

void MonoBuffer::Scale(double g, int n)
{
    CheckBuffer(n);
    Scale(g);
}

void MonoBuffer::Shift(double k)
{
    for (int i = 0; i < count; ++i) storage[i] += k;
}

void MonoBuffer::Shift(double k, int n)
{
    CheckBuffer(n);
    Shift(k);
}

}  // namespace tonewright
