"""A short tour of the audio-editing control through the late-bound Python client."""
import qelaudio


class Events:
    def OnEndOperation(self):
        print("  event: EndOperation")

    def OnBlockOperation(self, percent):
        print(f"  event: BlockOperation({percent})")


def main():
    control = qelaudio.Dispatch("QelAudioEditor4.AudioEditor")
    print("Created QelAudioEditor4.AudioEditor")
    print(f"  Status              = {control.Status}")
    print(f"  MouseEventsEnabled  = {control.MouseEventsEnabled}")
    print(f"  PreviewMode         = {control.PreviewMode}")
    print(f"  dispatch id of New  = {qelaudio.dispid(control, 'New')}")

    connection = qelaudio.connect(control, Events())
    print("Queued events are delivered when the host's timer calls _OnTimer:")
    control._ParsingFile()
    control._OnTimer()
    connection.disconnect()

    print("A failing call raises with the control's result code and message:")
    try:
        control.TempDirectory = "/no/such/folder/"
    except qelaudio.ComError as error:
        print(f"  ComError 0x{error.hresult:08X} from {error.source}: {error.description}")


if __name__ == "__main__":
    main()
