// Message boxes shown while nmshell drives the extension, printed as they
// appear (title, then the text line by line) and answered with OK, so that
// nobody has to sit at the machine.
#pragma once

class BoxWatch {
public:
    BoxWatch();
    ~BoxWatch();
    BoxWatch(const BoxWatch&) = delete;
    BoxWatch& operator=(const BoxWatch&) = delete;
};

// The one format for both platforms.
void PrintBox(const char* title, const char* text);
