// Message boxes shown while nmshell drives the extension, printed as they
// appear (title, then the text line by line) and answered with OK, so that
// nobody has to sit at the machine; or, with someone at the screen, left
// for that person to answer.
#pragma once

class BoxWatch {
public:
    enum class Answer { Ok, Person };
    explicit BoxWatch(Answer answer = Answer::Ok);
    ~BoxWatch();
    BoxWatch(const BoxWatch&) = delete;
    BoxWatch& operator=(const BoxWatch&) = delete;
};

// The one format for both platforms.
void PrintBox(const char* title, const char* text);
