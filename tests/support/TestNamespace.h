#pragma once

// Tests that send on the network run in an isolated network namespace with only its own
// loopback (scripts/in-netns). Every test program enters one at start, whoever starts it.
inline constexpr char kNeedsTestNamespace[] =
    "needs the isolated network namespace: run it through scripts/in-netns (ctest does)";

bool InTestNamespace();

// Called first by the test programs' main: outside the namespace the program starts itself
// again inside a fresh one and does not return. It returns inside the namespace, or when
// entering one failed (it says so then, and the tests that need it fail).
void EnterTestNamespace(char** argv);
