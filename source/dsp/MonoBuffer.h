#pragma once
// A resizable block of double samples with element-wise arithmetic. The
// storage only grows: a smaller size changes the logical size (and zeroes the
// samples, as any size change does), so a reserved buffer never allocates
// again on the audio thread.

#include <memory>

namespace tonewright {

class MonoBuffer {
public:
    MonoBuffer();
    MonoBuffer(const MonoBuffer&) = delete;
    MonoBuffer& operator=(const MonoBuffer&) = delete;
    MonoBuffer(MonoBuffer&&) noexcept = default;
    MonoBuffer& operator=(MonoBuffer&&) noexcept = default;

    // Makes room for n samples without changing the logical size.
    void Reserve(int n);
    int Capacity() const { return capacity; }

    void Resize(int n) { CheckBuffer(n); }
    void Clear();
    void Clear(int n);
    void Set(const double* s);
    void Set(const double* s, int n);
    void SetInverted(const double* s);
    void SetInverted(const double* s, int n);
    void Get(double* s) const;
    void Get(double* s, int n);
    void GetInverted(double* s) const;
    void GetInverted(double* s, int n);
    void Add(const double* s);
    void Add(const double* s, int n);
    void Subtract(const double* s);
    void Subtract(const double* s, int n);
    void Multiply(const double* s);
    void Multiply(const double* s, int n);
    void Scale(double g);
    void Scale(double g, int n);
    void Shift(double k);
    void Shift(double k, int n);

    double* data() { return storage.get(); }
    const double* data() const { return storage.get(); }
    int size() const { return count; }
    double& operator[](int i) { return storage[i]; }
    double operator[](int i) const { return storage[i]; }

private:
    // A new size zeroes the buffer; the same size keeps its contents.
    void CheckBuffer(int n);

    std::unique_ptr<double[]> storage;
    int count = 0;
    int capacity = 0;
};

}  // namespace tonewright
