#pragma once
// Stand-in for the guitar tuner: the interface the plug-in and the editor
// use, with no measurement behind it yet.

class Tuner {
public:
    Tuner();

    void SetFs(double fs);
    void SetConcertA(double a);
    // Consumes n mono samples (read only).
    void process_input(double* x, int n);
    // Dominant note index, needle position 0..1 and note name (at most 7
    // characters plus the terminator).
    void GetReading(int* note, double* needle, char* name);
};
