#pragma once

namespace engine {

class EngineView;

// What the stand-in engine runs on its interface side, the way a real engine runs the
// application's own interface code: it is made with the engine's InterfaceSide and talks to
// the host only through it. The engine shows it in its view when the host first asks for
// the view, and takes it down before the view goes. Main thread only.
//
//   auto engine = std::make_unique<StandInEngine>(queue, StandInEngineOptions{
//       std::nullopt, [](messaging::InterfaceSide& side) { return std::make_unique<MyInterface>(side); }});
class InterfaceProgram {
 public:
  InterfaceProgram() = default;
  virtual ~InterfaceProgram() = default;
  InterfaceProgram(const InterfaceProgram&) = delete;
  InterfaceProgram& operator=(const InterfaceProgram&) = delete;

  // Puts the program's widgets into `view`, which outlives them (see dismantle()).
  virtual void showIn(EngineView& view) = 0;
  // Takes the widgets down, before the view goes.
  virtual void dismantle() = 0;
};

}  // namespace engine
