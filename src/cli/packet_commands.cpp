// corvel-cli packet send: "Send Packet Testing" as a command. The options are
// what the person types into the window's edits; the response box is printed.
#include <iostream>
#include <string>

#include "cli/Cli.h"
#include "cli/DeviceToolsCli.h"
#include "core/tool/devicetools/PacketTester.h"

namespace corvel::cli {
namespace {

struct PacketOptions {
  std::string receiver;
  std::string sender;
  std::string type;
  std::string data;
};


void SetupPacket(CLI::App& app, Runner& runner) {
  static PacketOptions o;
  auto* packet = app.add_subcommand("packet", "Send Packet Testing");
  packet->require_subcommand(1);
  auto* send = packet->add_subcommand("send", "Send one packet to the board on the cable and print the answer");
  send->add_option("--receiver", o.receiver, "Receiver address as typed into the edit (\"0x10\", \"16\")")->required();
  send->add_option("--sender", o.sender, "Sender address as typed into the edit")->required();
  send->add_option("--type", o.type, "Packet type as typed into the edit")->required();
  send->add_option("--data", o.data, "Data bytes as typed into the edit: numbers, decimal or 0x hex");
  send->callback([&runner] {
    runner.Run([](Session& s) {
      return s.RunTool(ToolId::TestSerialPackets, [&] {
        PacketTester tester(s.Env());
        tester.receiver_text = o.receiver;
        tester.sender_text = o.sender;
        tester.type_text = o.type;
        tester.data_text = o.data;
        const ToolOutcome outcome = tester.Send();
        std::cout << "Sent: receiver " << tester.receiver_text << ", sender " << tester.sender_text << ", type "
                  << tester.type_text << ", data " << ConsoleLines(tester.data_text) << '\n';
        std::cout << kPacketResponseLabel << '\n' << ConsoleLines(tester.Response()) << '\n';
        return outcome == ToolOutcome::Done;
      });
    });
  });
}

}  // namespace

CORVEL_CLI_COMMAND(SetupPacket);

}  // namespace corvel::cli
