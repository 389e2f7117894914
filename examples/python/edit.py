"""edit.py FILE OUT: opens an audio file in the control, cuts its second second,
converts it to 22050 Hz mono 16-bit, amplifies it to 150 % and saves it as WAV,
printing the progress the control reports."""
import sys

import qelaudio

WAVE_FILE = 37  # the media component's number for RIFF WAVE


class Progress:
    """Event handler: connect() calls the On<Event> methods it finds."""

    def OnBlockOperation(self, percent: int) -> None:
        print(f"  {percent} %")

    def OnEndOperation(self) -> None:
        print("  done")


def edit(file: str, out: str) -> None:
    control = qelaudio.Dispatch("QelAudioEditor4.AudioEditor")
    with qelaudio.connect(control, Progress()):
        print(f"Opening {file}")
        control.OpenFile(file, -1, 0, 0, 0, 0, 0)
        rate = control.FileInfo.SampleRate

        # Positions count sample frames: the second second is [rate, 2 * rate).
        position = control.Position
        position.Selected = True
        position.StartSelect, position.EndSelect = rate, 2 * rate
        print("Cutting the second second")
        control.Cut()

        print("Converting to 22050 Hz, mono, 16-bit")
        control.ConvertSampleType.Process(22050, 1, 16, 0)

        # Effects work on the selection: select everything.
        position.StartSelect, position.EndSelect = 0, position.TotalSamples
        print("Amplifying to 150 %")
        control.Transform.Amplify(150)

        # The control saves in the format the file was opened with unless the
        # host gives another: ask for the converted one.
        info = control.FileInfo
        fmt = qelaudio.Dispatch("QelMediaCore3.AudioFormat")  # the media component's
        fmt.FormatTag = 1  # integer PCM
        fmt.SampleRate, fmt.Channels = info.SampleRate, info.Channels
        fmt.SampleSize, fmt.ChannelsMask = info.SampleSize, info.ChannelsMask
        info.AudioFormat = fmt

        print(f"Saving {out}")
        control.SaveFile(out, False, 0, WAVE_FILE)
        print(f"Saved {position.TotalSamples} frames, {info.FormatString}")
        control.Close()


def main() -> int:
    if len(sys.argv) != 3:
        print("usage: edit.py FILE OUT", file=sys.stderr)
        return 2
    try:
        edit(sys.argv[1], sys.argv[2])
    except qelaudio.ComError as error:
        print(f"edit.py: {error.description} (0x{error.hresult:08X})", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
