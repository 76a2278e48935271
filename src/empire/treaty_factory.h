// Proposing treaties from scripts. A script prepares a treaty between two
// empires in a TreatyFactory, adds clauses to it and proposes it:
//
//   TreatyFactory f(ourEmpire, them);
//   f.treaty.addClause("peace", false);
//   if (f.propose()) ...
//
// A treaty whose clauses are all offensive comes into force at once; any
// other is recorded as a proposal on both empires, for the other side to
// answer (empire::tickTreaties acts on the answer).
#pragma once

#include <cstdint>

class empire;
class ITreaty;

class TreatyFactory {
 public:
  TreatyFactory() = default;                    // holds no treaty
  TreatyFactory(empire* from, const empire* to);  // holds a new treaty
  ~TreatyFactory();                             // releases the held treaty
  TreatyFactory(const TreatyFactory&) = delete;
  TreatyFactory& operator=(const TreatyFactory&) = delete;

  // Plain counting: one factory belongs to one script thread.
  void addRef() { ++refCount; }
  void release();  // deletes the factory at 0

  // Holds a new treaty of `from` to `to` in place of the held one.
  void prepare(empire* from, const empire* to);
  void clear();
  ITreaty* getTreaty() const { return treaty; }  // no reference added

  // Called from a script: raises the script exceptions "No active treaty to
  // propose", "Not allowed to propose treaties as another empire" (a client
  // script proposing for an empire not its player's) and "No clauses in
  // treaty", giving false. An all-offensive treaty is activated (sent first
  // on a network client); any other is recorded with
  // empire::setProposedTreaty on the from empire, then on the to empire (the
  // first recording cleared again when the second is refused), and sent
  // once to the server on a network client when both succeeded. A treaty
  // that cannot stand (a missing, invalid or repeated empire) or that has
  // ended (a refused second recording ends it) gives false without an
  // exception. True lets go of the treaty; false keeps it.
  bool propose();

  ITreaty* treaty = nullptr;  // one reference
  uint32_t refCount = 1;
};
