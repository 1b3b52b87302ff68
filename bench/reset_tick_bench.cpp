// One 100 ms tick of the reset dialog: the model's mark query and count read over the virtual arm
// in this process, then the 3-D view at the dialog's size taking the new pose and redrawing it
// (the redraw is read back, so that each iteration waits for the whole picture). The arm moves
// between ticks, so every tick draws a new pose; one joint stays unmarked, so the reset runs on.
//
// It needs an X server with OpenGL (Mesa llvmpipe will do):
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/pilvo_view_bench
// BM_ResetTick/0 is the model alone, BM_ResetTick/1 the tick with the view.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <array>

#include "data/product_context.h"
#include "demo_arms.h"
#include "dialogs/reset_procedure.h"
#include "dialogs/scripted_operator.h"
#include "session/arm_session.h"
#include "sim/in_process_transport.h"
#include "sim/virtual_arm.h"
#include "ui/arm_view.h"

namespace pilvo {
namespace {

// The reset dialog's 3-D view.
constexpr int kViewWidth = 320;
constexpr int kViewHeight = 300;
constexpr int kUnmarkedJoint = 5;

void BM_ResetTick(benchmark::State& state) {
  const bool drawn = state.range(0) != 0;
  ScriptedOperator ui;
  const ProductContext context = ContextFromEnvironment(Program::Library);
  ArmSession session(context, ui.ports());
  if (session.LeggeParametri(bench::DemoArmPath("serial6_dh_marks")) != 0) {
    state.SkipWithError("demo arm missing");
    return;
  }
  sim::VirtualArmOptions unreferenced;
  unreferenced.referenced = false;
  sim::VirtualArm arm(session.state().working, unreferenced);
  sim::InProcessTransports transports(arm);
  session.link().UseTransports(transports.serial, transports.usb);
  for (int joint = 0; joint < arm.jointCount(); ++joint) {
    if (joint != kUnmarkedJoint) arm.PassReferenceMark(joint);
  }
  if (session.ReadArmCounts() != 0) {  // opens the link
    state.SkipWithError("no link to the virtual arm");
    return;
  }
  ResetProcedure reset(session, {.tabPath = "serial6_dh_marks.tab"});
  ArmView view;
  view.resize(kViewWidth, kViewHeight);
  if (drawn) view.show();

  int step = 0;
  for (auto _ : state) {
    // Joints that passed their mark, so that the movement marks nothing new.
    arm.SetJointAngle(0, (step % 90) - 45.0);
    arm.SetJointAngle(3, 60.0 + (step % 40));
    ++step;
    reset.Tick();
    if (drawn) {
      view.SetPose(reset.viewPose());
      benchmark::DoNotOptimize(view.Picture());
    }
  }
  if (reset.state() != ResetProcedure::State::Running) state.SkipWithError("the reset ended");
  if (drawn && view.Picture().isNull()) state.SkipWithError("no OpenGL");
}
// llvmpipe draws on threads of its own: the tick is the time on the clock.
BENCHMARK(BM_ResetTick)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace pilvo

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
