"""The Effects menu of the desktop editor: an effect whose parameters include
lists, a malformed list refused in its dialog, an effect without parameters
applied to everything when nothing is selected, and Preview playing an effect through ALSA's file plug-in without writing it.
Which rows the menu has, and how their arguments are built, is tested without a
display in effect_table_test.cpp."""
import pytest

from test_editor import FRAMES, Editor, audio, display, editor, open_effect, wait_until  # noqa: F401
from test_editor_session import alsa_devices, remember  # noqa: F401

FILTERS, EQUALIZER = 3, 7  # Effects > Filters > Equalizer
LEVEL, INVERT = 0, 7       # Effects > Level > Invert


def select_everything(editor):
    editor.key("ctrl+a")
    editor.wait("everything selected", lambda s: s["selected"] and s["end"] == FRAMES)


def open_equalizer(editor):
    select_everything(editor)
    open_effect(editor, FILTERS, EQUALIZER)
    editor.dialog("Equalizer")


def test_an_effect_with_list_parameters_applied_from_its_dialog_is_one_undo_step(editor):
    open_equalizer(editor)
    editor.fill("g", "3, -3")
    editor.fill("f", "500, 1500")
    editor.xdotool("key", "Return")
    state = editor.wait("the equalizer", lambda s: s["undo"] == 1)
    assert state["total"] == FRAMES
    assert state["modified"]


def test_a_malformed_list_keeps_the_dialog_open_and_changes_nothing(editor):
    open_equalizer(editor)
    editor.fill("g", "6, loud")
    editor.xdotool("key", "Return")
    state = editor.wait("the refusal", lambda s: "loud" in s["notice"])
    assert "Gains (dB)" in state["notice"]
    assert state["undo"] == 0 and not state["modified"]
    assert editor.find_dialog("^Equalizer$")


def test_an_effect_with_nothing_selected_applies_at_once_to_the_whole_document(editor):
    open_effect(editor, LEVEL, INVERT)
    state = editor.wait("the inversion", lambda s: s["undo"] == 1)
    assert (state["start"], state["end"], state["total"]) == (0, FRAMES, FRAMES)


def test_preview_from_an_effect_dialog_plays_it_and_leaves_the_document_and_undo_unchanged(
        display, tmp_path, audio, alsa_devices):
    played = tmp_path / "out.raw"
    remember(tmp_path, "[devices]\nplayback=qel_out\n")
    folder = tmp_path / "run"
    folder.mkdir()
    editor = Editor(display, folder, audio)
    try:
        assert editor.state()["playback_device"] == "qel_out"
        select_everything(editor)
        open_effect(editor, LEVEL, 0)  # Amplify
        editor.dialog("Amplify")
        editor.xdotool("key", "alt+p")
        wait_until("the preview to be played", lambda: played.exists() and played.stat().st_size)
        # Esc in the dialog stops the preview; Cancel then closes the dialog.
        editor.xdotool("key", "Escape")
        editor.wait("the preview to end", lambda s: s["status"] == 0)
        editor.xdotool("key", "alt+c")
        wait_until("the dialog to close", lambda: not editor.find_dialog("^Amplify$"))
        state = editor.wait("the window", lambda s: s["status"] == 0)
        assert state["undo"] == 0 and state["redo"] == 0
        assert state["total"] == FRAMES and not state["modified"]
    finally:
        editor.close()
