#pragma once

#include "link/FbusLink.h"

#include <QByteArrayList>

#include <functional>

// Stands in for the phonebook transfer: keeps every frame handed to it and may
// act on it, as the transfer does when it ends the link after the last answer.
struct Answers : quorix::link::PhonebookAnswer {
    QByteArrayList frames;
    std::function<void()> then;
    void handlePhonebookAnswer(const QByteArray& frame) override {
        frames << frame;
        if (then)
            then();
    }
};
