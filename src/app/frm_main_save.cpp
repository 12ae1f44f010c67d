// The save flow: the checks in front of a configuration send, the confirmation, the send.

#include "app/frm_main.h"
#include "editor/save_configuration.h"
#include "store/element_record.h"

namespace nms::app {

using ports::Answer;
using ports::MessageButtons;
using ports::MessageIcon;

void frmMain::SaveConfiguration() {
    auto& ctx = *context_;
    if (const auto failure = editor::saveCheckFailure(panel, ctx.db(), ctx.databasePath())) {
        msgBox(*failure + "\r" + std::string(editor::kCannotSave), MessageIcon::Critical,
               MessageButtons::Ok, Answer::Ok, std::string(editor::kSaveErrorTitle));
        return;
    }
    // A gateway outside the subnet can be meant (a routed management network), but more often
    // it is a typing error that leaves the element unreachable: only a deliberate Yes sends it.
    if (const auto question = editor::gatewayQuestion(editor::elementAddresses(panel))) {
        if (msgBox(*question, MessageIcon::Exclamation, MessageButtons::YesNo, Answer::No,
                   std::string(editor::kSaveConfirmationTitle)) != Answer::Yes)
            return;
    }
    // The fixed question, with every setting that is about to change on air unfolded below it.
    const auto changes = editor::configurationChanges(
        panel, AudioTypes, [&ctx](std::string_view key, std::string_view fallback) {
            return ctx.readShown(key, fallback);
        });
    const Answer answer = ctx.msgBox(
        std::string(editor::kSaveConfirmation), MessageIcon::Question, MessageButtons::YesNo,
        Answer::No, std::string(editor::kSaveConfirmationTitle), editor::describeChanges(changes));
    if (answer != Answer::Yes) return;
    SendConfiguration();
}

void frmMain::SendConfiguration() {
    const float version = editor::configurationVersion(
        context_->readShown(store::record::kVersion, store::record::defaults::kVersionForSend));
    const auto packet =
        protocol::encodeConfiguration(editor::configurationFromPanel(panel, AudioTypes),
                                      editor::sendsDecoderLayout(panel), version);
    SendConfigurationBytes(packet);
}

}  // namespace nms::app
