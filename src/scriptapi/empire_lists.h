// The scoped list types of Empire: EmpireTraits, EmpireMessages and
// EmpireTreaties. Each is prepared on one empire and then walked.
//
// EmpireTraits and EmpireMessages copy their list when prepared, under a
// short hold of the list's area (traits, messages), and hold no lock after
// that. A script keeps them across statements that touch objects, which
// take system locks; the galaxy threads post messages and read traits
// while they hold their system's lock, so an empire area held across those
// statements would invert that order. Traits live until the session ends,
// so the copy keeps their pointers; a message's text, category, priority
// and time are copied.
//
// EmpireTreaties keeps the empire's treaties area (write) while prepared:
// no thread takes it under a system lock.
#pragma once

// Registers the types with their factory and release (both engines).
void registerEmpireMessagesType();
void registerEmpireTreatiesType();
void registerEmpireTraitsType();
