#!/usr/bin/env bash
# Drives the built editor in a real X window (Xvfb) from outside, as a user
# would with the mouse and keyboard, and checks the files on disk:
# open a copy of the sample, GetData, edit a value, PutData; add and delete
# nodes, PutData; Read, edit and Write the raw text. A screenshot of each step
# goes into the shots folder. Any broken step fails the test.
#
# The status panels are read as a screen reader reads them, through the
# accessibility bus (AT-SPI, with PROBE), which a D-Bus session of its own
# carries.
#
# Usage: realwindow.sh EDITOR SAMPLE SHOTS_DIR PROBE
# The positions below are those of the editor's layout at 96 dpi with the
# window at the screen's corner (no window manager runs).
set -euo pipefail
if [ -z "${TARNWELL_DBUS_SESSION:-}" ]; then
  command -v dbus-run-session >/dev/null || { echo "FAIL: dbus-run-session is missing (package dbus)"; exit 1; }
  export TARNWELL_DBUS_SESSION=1
  exec dbus-run-session -- "$0" "$@"
fi
editor="$1"; sample="$2"; shots="$3"; probe="$4"
mkdir -p "$shots"
work="$(mktemp -d)"
doc="$work/doc.xml"
cp "$sample" "$doc"
cp "$(dirname "$sample")/catalog.xsd" "$work/"

# Xvfb picks a free display itself (-displayfd) and writes its number once it
# listens. Probing for free numbers from here races with other X servers on
# the machine, including ones in other containers that share the abstract
# socket namespace but not /tmp.
Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb=$!
editor_pid=""
cleanup() {
  [ -n "$editor_pid" ] && kill "$editor_pid" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
display=""
for _ in $(seq 300); do
  display="$(head -n 1 "$work/display" 2>/dev/null || true)"
  [ -n "$display" ] && break
  kill -0 "$xvfb" 2>/dev/null || { cat "$work/xvfb.log"; echo "FAIL: Xvfb ended before it chose a display"; exit 1; }
  sleep 0.1
done
[ -n "$display" ] || { cat "$work/xvfb.log"; echo "FAIL: Xvfb did not choose a display in 30 s"; exit 1; }
export DISPLAY=":$display"
# A loaded machine may take a while to start Xvfb and the editor; wait until
# the server answers.
for _ in $(seq 300); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
xdotool getdisplaygeometry >/dev/null 2>&1 || { cat "$work/xvfb.log"; echo "FAIL: Xvfb on $DISPLAY did not answer"; exit 1; }
unset QT_QPA_PLATFORM QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS
export QT_FONT_DPI=96
# The editor offers its accessibility tree even though no screen reader
# asked for it.
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1

step=0
shot() { step=$((step + 1)); import -window root "$shots/$(printf '%02d' "$step")-$1.png"; }
fail() { shot "failed"; echo "FAIL: $*"; exit 1; }
click() { xdotool mousemove "$1" "$2" click 1; sleep 0.4; }
# The newest top-level window with the editor's title (a dialog or a box).
newest_window() { xdotool search --onlyvisible --name '^Tarnwell XML Editor$' 2>/dev/null | tail -n 1; }
# Waits up to 10 s for a command to succeed (the editor works at its own pace).
wait_for() { for _ in $(seq 100); do "$@" && return 0; sleep 0.1; done; return 1; }
# A window other than the one given.
other_window() { local w; w="$(newest_window)"; [ -n "$w" ] && [ "$w" != "$1" ] && echo "$w"; }
file_is() { [ "$(cat "$doc")" = "$1" ]; }
file_has() { grep -q "$1" "$doc"; }
file_ends_with() { [ "$(tail -c ${#1} "$doc")" = "$1" ]; }
# What the accessibility bus says of the objects whose name starts with $1.
spoken() { "$probe" find "$1" 2>/dev/null; }
panel_says() { spoken "Schema: " | grep -q "^$1"$'\t'; }
# File > Exit, and the editor must end; $1 says what failed otherwise.
exit_editor() {
  click 20 8
  xdotool key x
  for _ in $(seq 50); do kill -0 "$editor_pid" 2>/dev/null || break; sleep 0.1; done
  ! kill -0 "$editor_pid" 2>/dev/null || fail "$1"
  editor_pid=""
}

# Starts the editor with the arguments given and waits up to 30 s for its
# window (a loaded machine may take a while); sets editor_pid and main.
start_editor() {
  "$editor" "$@" >"$work/editor.log" 2>&1 &
  editor_pid=$!
  main=""
  for _ in $(seq 300); do
    main="$(newest_window || true)"
    [ -n "$main" ] && return 0
    if ! kill -0 "$editor_pid" 2>/dev/null; then
      cat "$work/editor.log"; editor_pid=""
      kill -0 "$xvfb" 2>/dev/null || { cat "$work/xvfb.log"; echo "FAIL: Xvfb on $DISPLAY ended"; exit 1; }
      fail "the editor ($*) ended before its window appeared"
    fi
    sleep 0.1
  done
  cat "$work/editor.log"
  fail "the editor window ($*) did not appear"
}

start_editor
sleep 0.5
shot "started"

# File > Open, the name typed into the file dialog.
click 20 8
xdotool key o
sleep 0.8
xdotool type --delay 5 "$doc"
xdotool key Return
sleep 0.6
shot "opened"

click 463 360                       # GetData
shot "getdata"
wait_for panel_says "Schema: valid (catalog.xsd)" || fail "the schema panel does not say the sample is valid: $(spoken 'Schema: ')"
spoken "Open file: " | grep -q $'^Open file: doc.xml\t' || fail "the open-file panel is not heard: $(spoken 'Open file')"
spoken "Configuration: " | grep -q $'^Configuration: TarnwellEditor.cfg: ' || fail "the configuration panel is not heard"

click 150 128                       # the Title row
click 268 79                        # the value box
xdotool key ctrl+a
xdotool type --delay 5 "Summer list, 2027"
shot "edited"
spoken "Open file: " | grep -q $'^Open file: doc.xml, unsaved changes\t' || fail "the unsaved changes are not heard"
click 463 389                       # PutData
shot "putdata"
expected="$(sed 's/Spring list, 2027/Summer list, 2027/' "$sample")"
wait_for file_is "$expected" || fail "after the first PutData the file is not the sample with one value changed"

# Add an Author to the second book through the dialog.
before_dialog="$(newest_window)"
click 150 212                       # the second Book row
click 463 81                        # Add
wait_for other_window "$before_dialog" >/dev/null || fail "the add-item dialog did not open"
dialog="$(newest_window)"
eval "$(xdotool getwindowgeometry --shell "$dialog")"
shot "add-dialog"
click $((X + 264)) $((Y + 20))      # OK (Author is offered first)
click 268 79
xdotool type --delay 5 "Nobody, N."
shot "added"

# Delete the Footer, now one row lower, answering Yes.
click 150 310
click 463 110                       # Delete
wait_for other_window "$main" >/dev/null || fail "the delete question did not appear"
box="$(newest_window)"
eval "$(xdotool getwindowgeometry --shell "$box")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + 10))
shot "delete-question"
xdotool key Return
sleep 0.4
shot "deleted"
click 463 389                       # PutData
shot "putdata-2"
wait_for file_has '^    <Author>Nobody, N.</Author>$' || fail "the added author is not in the file"
grep -q '    <Author>Thomas, D.</Author>' "$doc" || fail "an existing author is missing"
! grep -q 'Footer' "$doc" || fail "the deleted Footer is still in the file"
grep -q 'Summer list, 2027' "$doc" || fail "the first edit was lost"

# The raw text: Read, add a comment at the end, Write.
click 118 31                        # the XML View tab
click 366 389                       # Read
shot "read"
click 200 200                       # into the text
xdotool key ctrl+End
xdotool type --delay 5 "<!-- checked -->"
click 463 389                       # Write
shot "written"
wait_for file_ends_with "<!-- checked -->" || fail "the written text did not reach the file"
grep -q '^    <Author>Nobody, N.</Author>$' "$doc" || fail "Write lost the stored nodes"

# A PutData of the tree read before that Write is refused, with a message,
# and the file keeps the Write.
click 38 31                         # the List View tab
click 150 128                       # the Title row
click 268 79                        # the value box
xdotool key ctrl+a
xdotool type --delay 5 "Autumn list, 2027"
click 463 389                       # PutData
wait_for other_window "$main" >/dev/null || fail "the refused PutData showed no message"
wait_for spoken "PutData was refused" >/dev/null || fail "the refusal is not heard: $(spoken 'PutData')"
shot "putdata-refused"
xdotool key Return
sleep 0.4
file_ends_with "<!-- checked -->" || fail "the PutData of the older tree undid the Write"
! grep -q 'Autumn list' "$doc" || fail "the refused PutData stored the tree"

# Another program changes the file: GetData and Read read it as it is now.
sed -i 's|<Book id="b2">|<Book id="b2" colour="red">|' "$doc"
click 463 360                       # GetData
wait_for spoken "@colour" >/dev/null || fail "GetData did not read the changed file again"
shot "getdata-after-outside-change"
sed -i 's|colour="red"|colour="blue"|' "$doc"
click 118 31                        # the XML View tab
click 366 389                       # Read
click 200 200                       # into the text
xdotool key ctrl+End
xdotool type --delay 5 "<!-- again -->"
click 463 389                       # Write
shot "written-after-outside-change"
wait_for file_ends_with "<!-- again -->" || fail "the text read after the outside change was not written"
grep -q 'colour="blue"' "$doc" || fail "Read did not read the changed file again"

# A problem the schema check finds, listed from its panel through the
# accessibility bus's press action.
# The file (changed by another program above) is opened again.
click 38 31                         # the List View tab
click 20 8                          # File > Open
xdotool key o
sleep 0.8
xdotool type --delay 5 "$doc"
xdotool key Return
sleep 0.6
click 463 360                       # GetData
wait_for panel_says "Schema: 1 problem (catalog.xsd)" || fail "the schema panel does not report the problem: $(spoken 'Schema: ')"
spoken "Schema: " | grep -q $'\t.*Stores are not refused' || fail "the panel's description does not say stores go on"
"$probe" press "Schema: " || fail "the schema panel offers no press action"
problem_list() { xdotool search --onlyvisible --name '^Schema problems$' >/dev/null 2>&1; }
wait_for problem_list || fail "the problem list did not open"
shot "schema-problems"
xdotool key Return                  # Go to the first problem
sleep 0.4
! problem_list || fail "the problem list did not close"
shot "schema-problem-chosen"

exit_editor "File > Exit did not end the editor"

# Started with a file, as a file manager starts it: the document shows.
start_editor "$doc"
wait_for panel_says "Schema: 1 problem (catalog.xsd)" || fail "the file named at start was not loaded: $(spoken 'Schema: ')"
spoken "Open file: " | grep -q $'^Open file: doc.xml\t' || fail "the file named at start is not the open file"
shot "started-with-file"
exit_editor "File > Exit did not end the editor started with a file"

# Checked as you edit, heard as a screen reader hears it: a bad value typed
# (not stored) shows in the panel and in the value box's description, which
# names what the schema allows; a value chosen from the completer fixes it.
# The sample's Price is made an enumeration for this.
mkdir "$work/enum"
doc="$work/enum/doc.xml"
cp "$sample" "$doc"
sed 's|<xs:element name="Price" type="xs:string" minOccurs="0"/>|<xs:element name="Price" minOccurs="0"><xs:simpleType><xs:restriction base="xs:string"><xs:enumeration value="1,200"/><xs:enumeration value="980"/></xs:restriction></xs:simpleType></xs:element>|' \
  "$(dirname "$sample")/catalog.xsd" >"$work/enum/catalog.xsd"
grep -q 'value="980"' "$work/enum/catalog.xsd" || fail "the enumeration was not put into the schema"
start_editor "$doc"
wait_for panel_says "Schema: valid (catalog.xsd)" || fail "the document with an enumeration is not valid: $(spoken 'Schema: ')"
click 150 198                       # the first book's Price row
click 268 79                        # the value box
xdotool key ctrl+a
xdotool type --delay 5 "12"
wait_for panel_says "Schema: 1 problem in unsaved changes (catalog.xsd)" || fail "the bad value typed is not reported: $(spoken 'Schema: ')"
# The description runs over several lines: they are read as one.
value_says() { spoken "Value" | tr '\n' '|' | grep -qF "$1"; }
wait_for value_says $'Value\tAllowed by catalog.xsd: text (xs:string).' || fail "the value box's description does not name the type: $(spoken 'Value')"
value_says '|One of: "1,200", "980".|' || fail "the value box's description does not give the values: $(spoken 'Value')"
value_says "|Problem: value '12' not in enumeration" || fail "the value box's description does not give the problem: $(spoken 'Value')"
xdotool mousemove 300 79            # the tooltip says the same
sleep 1.5
shot "value-help"
[ "$(cat "$doc")" = "$(cat "$sample")" ] || fail "the value typed was stored"
# The completer offers what contains the text typed; Down highlights the
# first offer, which the value box then holds, and so a screen reader reads
# it there (Qt keeps popups out of the accessibility tree).
xdotool key ctrl+a
xdotool type --delay 5 "9"
sleep 0.4
shot "completer"
xdotool key Down
value_text() { [ "$("$probe" text "Value" 2>/dev/null)" = "$1" ]; }
wait_for value_text "980" || fail "the highlighted offer is not read in the value box: $("$probe" text Value)"
xdotool key Return
wait_for panel_says "Schema: unsaved changes valid (catalog.xsd)" || fail "the value chosen from the completer is not valid: $(spoken 'Schema: ')"
wait_for value_says "|Optional.|" || fail "the value box's description does not say the value is optional: $(spoken 'Value')"
! value_says "Problem:" || fail "the problem is still in the value box's description: $(spoken 'Value')"
shot "completer-chosen"
click 463 389                       # PutData
wait_for file_has '<Price>980</Price>' || fail "the value chosen from the completer was not stored"
exit_editor "File > Exit did not end the editor with the enumeration"
echo "real-window flow: 1 passed, 0 failed"
