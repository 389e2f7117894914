"""Markers through the interface: the fields of a new marker, carrying through
edits (with ChangeMarker), undo, and splitting the document (with
SplitFileCreated). Clamping, deletion, sorting, how each edit moves a marker and
the pieces of a split are tested in the C++ editing suite (MarkerEditsTest,
CarryMarkersTest, SplitTest)."""
import os

import numpy as np
import pytest
import qelaudio

from store import markers_of, read_store


@pytest.fixture
def thousand(doc):
    doc.open(np.arange(1000, dtype=np.int16))
    return doc.control


def positions(control):
    return markers_of(control, "Position", "Length")


def test_insert_gives_a_marker_with_default_colour(thousand):
    m = thousand.Markers
    m.Insert(100, 50, "intro", "a note")
    assert (m.Count, m.Num, m.Position, m.Length) == (1, 1, 100, 50)
    assert (m.Color, m.PlayList, m.Label, m.Note) == (0x007D7DFF, 0, "intro", "a note")


def test_split_file_name_with_a_bad_index_is_an_invalid_argument(thousand):
    with pytest.raises(qelaudio.ComError) as err:
        thousand.Markers.SplitFilesName(0)
    assert err.value.hresult == 0x80040308


def test_delete_select_carries_markers_and_reports_each(doc, thousand):
    m = thousand.Markers
    for p, l in ((250, 0), (50, 100), (150, 100), (150, 20)):
        m.Insert(p, l, "", "")
    changed = []

    class Events:
        def OnChangeMarker(self, num):
            changed.append(num)

    qelaudio.connect(thousand, Events())
    doc.select(100, 200)
    thousand.DeleteSelect()
    assert positions(thousand) == [(150, 0), (50, 50), (100, 50), (150, 20)]
    assert sorted(changed) == [1, 2, 3, 4]


def test_undo_brings_back_the_markers_before_the_edit(doc, thousand):
    thousand.Markers.Insert(250, 0, "", "")
    doc.select(100, 200)
    thousand.DeleteSelect()
    thousand.Undo(1)
    assert positions(thousand) == [(250, 0)]
    thousand.Redo(1)
    assert positions(thousand) == [(150, 0)]


def test_markers_inserted_after_an_edit_go_with_undo(doc, thousand):
    doc.select(0, 10)
    thousand.DeleteSelect()
    thousand.Markers.Insert(5, 0, "", "")
    thousand.Undo(1)
    assert thousand.Markers.Count == 0
    thousand.Redo(1)
    assert thousand.Markers.Count == 1


def test_split_by_point_markers_writes_three_pieces(doc, thousand):
    m = thousand.Markers
    m.Insert(100, 0, "", "")
    m.Insert(300, 0, "", "")
    created = []

    class Events:
        def OnSplitFileCreated(self, name):
            created.append(name)

    qelaudio.connect(thousand, Events())
    m.SplitFileByMarkers()
    assert m.SplitFilesCount == 3
    names = [m.SplitFilesName(i) for i in range(3)]
    assert created == names
    pieces = [read_store(n)[1][:, 0] for n in names]
    assert [len(p) for p in pieces] == [100, 200, 700]
    assert np.array_equal(np.concatenate(pieces), doc.samples()[:, 0])
    for n in names:
        os.remove(n)  # the pieces belong to the host
