#pragma once

#include "listmodel.h"

// RepaintLock: suspends a list's repaint for the lifetime of a scope, so that
// a group of cell writes is announced once and no return path can leave the
// list suspended.
class RepaintLock
{
public:
    [[nodiscard]] explicit RepaintLock(ListModel &model) : m_model(model)
    {
        m_model.suspendRepaint();
    }
    ~RepaintLock() { m_model.resumeRepaint(); }

    RepaintLock(const RepaintLock &) = delete;
    RepaintLock &operator=(const RepaintLock &) = delete;

private:
    ListModel &m_model;
};
