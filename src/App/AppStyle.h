#pragma once

// The program's widget style: the one the program was designed with where
// Qt has it, Fusion otherwise.
class AppStyle
{
public:
    static void apply();
};
