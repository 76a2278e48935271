// Effector instances: evaluation against a sub-system's variables, and the
// save form written, read back and refused.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "core/formula.h"
#include "core/named_values.h"
#include "core/save_stream.h"
#include "core/threads.h"
#include "design/effectors/effector.h"
#include "design/effects/effects.h"
#include "support/log_capture.h"
#include "support/save_bytes.h"
#include "support/scratch_dir.h"

namespace effector_instance_test {

namespace {

const irr::core::stringw kOwnSpace(L"\x01");

class EffectorInstanceTest : public testing::Test {
 protected:
  void SetUp() override {
    const std::filesystem::path folder = scratchDir();
    const std::string effects = (folder / "effects.txt").string();
    const std::string effectors = (folder / "effectors.txt").string();
    std::ofstream(effects, std::ios::binary) << "Name: Hit\nValue: Amount\nValue: Rate\n";
    std::ofstream(effectors, std::ios::binary)
        << "Effector: Plain\n"
           "Value: Damage\n"
           "Value: Delay\n"
           "Causes: Hit lasting Delay + 1 with Rate[Damage * 2]\n"
           "Effector: Gun\n"
           "Value: Damage\n"
           "Value: Delay\n"
           "Range: Damage * 10\n"
           "Causes: Hit lasting 0 with Amount[Damage]\n"
           "Effector: Lance\n"
           "Value: Power\n"
           "Range: Power + 5\n"
           "ProjectileSpeed: Power * 3\n";
    LogCapture log;
    loadEffects(effects.c_str());
    loadEffectors(effectors.c_str());
    EXPECT_EQ(log.take().find("error"), std::string::npos);
    gun = findEffector(L"Gun");
    ASSERT_NE(gun, nullptr);
  }
  void TearDown() override {
    clearEffectors();
    clearEffects();
    freeThreadLocals();
  }

  // An instance of `name` whose values are the given formula texts.
  static effector evaluated(const wchar_t* name, std::initializer_list<const wchar_t*> formulas, NameSpaces& spaces) {
    effector_forms forms(findEffector(name));
    irr::u32 i = 0;
    for (const wchar_t* text : formulas)
      forms.values[i++] = new formula(text);
    effector eff;
    eff.evaluate(forms, spaces);
    return eff;
  }

  // Gun with values 10 and 2.5: range 100, speed 150, one caused effect.
  effector gunInstance() {
    NameSpaces spaces;
    return evaluated(L"Gun", {L"10", L"2.5"}, spaces);
  }

  const effector_def* gun = nullptr;
};

TEST_F(EffectorInstanceTest, FormsHoldOneEmptyFormulaPerValue) {
  const effector_forms forms(gun);
  EXPECT_EQ(forms.def, gun);
  ASSERT_EQ(forms.values.size(), 2u);
  EXPECT_EQ(forms.values[0], nullptr);
  EXPECT_EQ(forms.values[1], nullptr);
}

TEST_F(EffectorInstanceTest, EvaluationReachesOwnValuesByBareNameAndRestoresTheNamespace) {
  // The sub-system's variables, and an earlier binding of the own-values
  // namespace that must come back afterwards.
  NamedValues system;
  system.set(L"Size", 4.0f);
  NamedValues earlier;
  earlier.set(L"Damage", 99.0f);
  struct Case {
    const char* label;
    NamedValues* bound;  // what the own-values namespace held before
  };
  for (const Case& c : {Case{"nothing bound", nullptr}, Case{"a set bound", &earlier}}) {
    SCOPED_TRACE(c.label);
    NameSpaces spaces;
    spaces.setSpace(&system, L"Sys");
    if (c.bound != nullptr)
      spaces.setSpace(c.bound, kOwnSpace);

    // Without "Range" or "ProjectileSpeed"; Amount left unassigned.
    const effector plain = evaluated(L"Plain", {L"Sys.Size * 2", L"Size - 1"}, spaces);
    EXPECT_EQ(plain.def, findEffector(L"Plain"));
    EXPECT_EQ(plain.range, 1000.0f);
    EXPECT_EQ(plain.speed, 150.0f);
    ASSERT_EQ(plain.values.size(), 2u);
    EXPECT_EQ(plain.values[0], 8.0f);
    EXPECT_EQ(plain.values[1], 3.0f);
    ASSERT_EQ(plain.effects.size(), 1u);
    EXPECT_EQ(plain.effects[0].data.effect, findEffect(L"Hit"));
    EXPECT_EQ(plain.effects[0].duration, 4.0f);
    EXPECT_EQ(plain.effects[0].data.values[0], 0.0f);
    EXPECT_EQ(plain.effects[0].data.values[1], 16.0f);

    const effector lance = evaluated(L"Lance", {L"7"}, spaces);
    EXPECT_EQ(lance.range, 12.0f);
    EXPECT_EQ(lance.speed, 21.0f);

    EXPECT_EQ(spaces.findSpace(kOwnSpace), c.bound);
    EXPECT_EQ(spaces.spaces().size(), c.bound != nullptr ? 2u : 1u);
  }
}

TEST_F(EffectorInstanceTest, ValuesWithoutFormulaAreZero) {
  NameSpaces spaces;
  effector_forms forms(gun);
  effector eff;
  eff.evaluate(forms, spaces);
  ASSERT_EQ(eff.values.size(), 2u);
  EXPECT_EQ(eff.values[0], 0.0f);
  EXPECT_EQ(eff.range, 0.0f);
}

const char kGunForm[] =
    "00 00 C8 42 00 00 16 43 02 00 00 00 20 41 00 00 20 40 01 00 00 00 00 00 00 00 20 41 "
    "00 00 00 00 00 00 00 00 00 00 00 00";

TEST_F(EffectorInstanceTest, SaveFormIsExactAndReadsBackEqual) {
  const effector written = gunInstance();
  std::unique_ptr<SaveStream> out = SaveStream::createInMemory();
  written.write(*out);
  const Bytes body = writtenBody(*out);
  EXPECT_EQ(body.size(), 40u);
  EXPECT_EQ(hexText(body), hex(kGunForm));

  const Bytes file = withHeader(body);
  std::unique_ptr<SaveStream> in = readerOver(file);
  effector read;
  read.read(gun, *in);
  EXPECT_EQ(in->remaining(), 0u);
  EXPECT_EQ(read.def, gun);
  EXPECT_EQ(read.range, written.range);
  EXPECT_EQ(read.speed, written.speed);
  ASSERT_EQ(read.values.size(), 2u);
  EXPECT_EQ(read.values[0], 10.0f);
  EXPECT_EQ(read.values[1], 2.5f);
  ASSERT_EQ(read.effects.size(), 1u);
  EXPECT_EQ(read.effects[0].data.effect, written.effects[0].data.effect);
  EXPECT_EQ(read.effects[0].duration, 0.0f);
  for (int slot = 0; slot < 4; ++slot)
    EXPECT_EQ(read.effects[0].data.values[slot], written.effects[0].data.values[slot]);
}

TEST_F(EffectorInstanceTest, StoredFormsThatDoNotFitTheDefinition) {
  const std::string head = "00 00 C8 42 00 00 16 43 ";
  const std::string record = "00 00 00 00 00 00 20 41 00 00 00 00 00 00 00 00 00 00 00 00 ";
  const struct {
    const char* label;
    std::string body;
    SaveFileError error;
  } cases[] = {
      {"one value short", head + "01 00 00 00 20 41 01 00 " + record, kSaveErrorEffectorValues},
      {"no caused effect", head + "02 00 00 00 20 41 00 00 20 40 00 00", kSaveErrorEffectorEffects},
      {"one caused effect more", head + "02 00 00 00 20 41 00 00 20 40 02 00 " + record + record, {0, "no error"}},
      {"a value more", head + "03 00 00 00 20 41 00 00 20 40 00 00 80 3F 01 00 " + record, {0, "no error"}},
      {"cut record", std::string(kGunForm).substr(0, 3 * 36), kSaveErrorEOF},
      {"cut value list", head + "02 00 00 00 20 41", kSaveErrorEOF},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const Bytes file = withHeader(hexBytes(c.body.c_str()));
    std::unique_ptr<SaveStream> in = readerOver(file);
    effector eff;
    EXPECT_EQ(saveErrorOf([&] { eff.read(gun, *in); }), c.error);
    if (c.error.code != 0) {
      EXPECT_EQ(eff.def, nullptr);  // a refused form leaves the instance alone
      continue;
    }
    EXPECT_EQ(in->remaining(), 0u);
    EXPECT_EQ(eff.def, gun);
    ASSERT_EQ(eff.values.size(), 2u);
    EXPECT_EQ(eff.values[1], 2.5f);
    ASSERT_EQ(eff.effects.size(), 1u);
    EXPECT_EQ(eff.effects[0].data.effect, findEffect(L"Hit"));
    EXPECT_EQ(eff.effects[0].data.values[0], 10.0f);
  }
}

}  // namespace

}  // namespace effector_instance_test
