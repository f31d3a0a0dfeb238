; Vexed Drifts music: the PSID header, a three-voice music driver with a sample-drum channel, and the
; songs (songs.inc) and drum samples (samples.inc) it plays.
;
; Driver in brief. A song names a speed (frames per step), a transposition, an instrument map and one
; order list per voice. An order list is a run of pattern numbers, transpositions and instruments
; ending in a jump back; a pattern is a run of events (note, rest, length, instrument) that the voice plays step by step.
; Every frame each voice runs its instrument's wave table (waveform and note offset per frame: drums,
; chord arpeggios and scoops into a note), its pulse-width sweep and, for leads, a delayed vibrato; then
; the filter's cutoff sweeps and the master volume moves towards its target, as the last filter setting
; named in an order list asks (FX bytes).
; Every table the driver reads is indexed by a value masked or checked to the table's length, and the
; assembler checks the lengths: a note plus any offset wraps to 0..127, and the note table has 128 notes.
; A rest lets the note die by dropping the sustain level to 0 with the gate held; a released envelope
; in our chip never falls below 1/64 of full scale, so gating off would leave the note faintly audible.

        .setcpu "6502"

SID       = $D400
SID_VOL   = SID + 24
SMP_CMD   = $D41D               ; sample channel: command, start, end, repeat count, period,
SMP_START = $D41E               ; nibble order, repeat address
SMP_END   = $D43D
SMP_COUNT = $D43F
SMP_RATE  = $D45D
SMP_ORDER = $D47D
SMP_LOOP  = $D47E
SMP_PERIOD = $029C              ; 985248 / 668: about 1475 nibbles a second

; Pattern and order-list bytes.
NOTE_MAX  = $5F                 ; $00-$5F: a note
INS       = $60                 ; $60-$7F: instrument for the following notes
LEN       = $80                 ; $81-$BF: length in steps of the following notes and rests
REST      = $C0                 ; the note dies (sustain level 0)
TIE       = $C1                 ; the note goes on
ENDPAT    = $FF                 ; end of pattern / order list jump (followed by the target)
TRN       = $A0                 ; in order lists, $80-$BF: transposition TRN-32 .. TRN+31, and
                                ; INS+n as in patterns
FX        = $C0                 ; in order lists, $C0-$DF: filter and volume setting n
FX_COUNT  = 32
; Wave table bytes: control value and note; a note with bit 7 set is absolute, else added to the
; note played modulo 128 (so $7F is a semitone down). A control value of $FF jumps to the wave-table
; offset in the note byte.
ABS       = $80
JUMP      = $FF

.segment "ZEROPAGE"
ptr:      .res 2
tmp:      .res 1
ctrl:     .res 1
freqLo:   .res 1
freqHi:   .res 1
tick:     .res 1                ; frames left until the next step
speed:    .res 1                ; frames per step, less one
songTrn:  .res 1
map:      .res 2                ; logical to physical instrument numbers
loops:    .res 1                ; how often voice 1 has jumped back in its order list
; Per voice, indexed by X = 0..2.
trkLo:    .res 3
trkHi:    .res 3
ordPos:   .res 3
patLo:    .res 3
patHi:    .res 3
patPos:   .res 3
trans:    .res 3
left:     .res 3                ; steps until the next event
len:      .res 3
insLog:   .res 3
ins:      .res 3
note:     .res 3
wavePos:  .res 3
pwLo:     .res 3
pwHi:     .res 3
pwStep:   .res 3
vibWait:  .res 3
vibPhase: .res 3
; The filter and the master volume.
route:    .res 1                ; resonance and routing ($D417)
fmode:    .res 1                ; filter mode, the high nibble of $D418
cutFrac:  .res 1                ; cutoff in 1/256 units, then its high byte ($D416)
cutoff:   .res 1
cutStep:  .res 1                ; added every frame, signed, in 1/256 units
cutLo:    .res 1                ; the sweep's bounds
cutHi:    .res 1
cutTurn:  .res 1                ; $FF: the sweep turns at a bound, 0: it stops there
vol:      .res 1
volTarget: .res 1
volRate:  .res 1                ; frames per volume step, less one
volTick:  .res 1
        .res (* - ptr) .mod 2   ; even, as InitSong clears two bytes a turn
STATE_HALF = (* - ptr) / 2

; ---------------------------------------------------------------------------------------------------
.segment "HEADER"
        .byte "PSID"
        .dbyt 2                 ; version
        .dbyt $7C               ; data offset
        .dbyt 0                 ; load address: the first two data bytes
        .dbyt Init, Play
        .dbyt SONGS, 1     ; songs, start song
        .dword 0                ; speed flags: every song is played at 50 frames a second
.macro TEXT32 s
        .byte s
        .res 32 - .strlen(s), 0
.endmacro
        TEXT32 "vexed drifts"
        TEXT32 "vexed drifts team"
        TEXT32 "2026 vexed drifts team"
        .dbyt $0014             ; flags: PAL timing, 6581
        .byte 0, 0              ; no free pages named
        .word 0

.segment "LOADADDR"
        .word $0500

; ---------------------------------------------------------------------------------------------------
.segment "CODE"

; A = song number. Sets up the driver state only: the chip is first written by the first Play.
InitSong:
        cmp #SONGS
        bcc :+
        lda #0
:       tay
        ldx #STATE_HALF - 1
        lda #0
:       sta ptr,x
        sta ptr + STATE_HALF,x
        dex
        bpl :-
        lda songSpeed,y
        sta speed
        lda songTrans,y
        sta songTrn
        lda songMap,y
        tax
        lda mapLo,x
        sta map
        lda mapHi,x
        sta map+1
        tya                     ; Y = 3 x song: the song's first order list
        sta tmp
        asl a
        adc tmp
        tay
        ldx #0
:       lda orderLo,y
        sta trkLo,x
        lda orderHi,y
        sta trkHi,x
        lda #<EmptyPattern      ; the first frame reads the order lists, the second plays
        sta patLo,x
        lda #>EmptyPattern
        sta patHi,x
        lda #1
        sta left,x
        lda #WT_QUIET           ; silent until the first note
        sta wavePos,x
        iny
        inx
        cpx #3
        bne :-
        lda #1                  ; the first frame looks ahead, the second is a step
        sta tick
        rts

; One frame: the step's events, every voice's instrument, then the filter and volume. On the frame
; before a step, voices whose pattern has ended move to their next one, which keeps that work out of
; the busy step frames.
PlayFrame:
        dec tick
        beq @ahead
        bpl @frame
        lda speed
        sta tick
        ldx #2
@step:  dec left,x
        bne :+
        jsr ReadEvents
:       dex
        bpl @step
        bmi @frame
@ahead: ldx #2
@look:  lda patLo,x
        sta ptr
        lda patHi,x
        sta ptr+1
        ldy patPos,x
        lda (ptr),y
        cmp #ENDPAT
        bne :+
        jsr NextPattern
        sty patPos,x
:       dex
        bpl @look
@frame: ldx #2
:       jsr UpdateVoice
        dex
        bpl :-
        ; fall through
; The cutoff sweep, the volume fade, then the filter and volume registers.
UpdateFilter:
        lda cutStep
        beq @volume
        ldy #0
        ora #0
        bpl :+
        dey
:       clc
        adc cutFrac
        sta cutFrac
        tya
        adc cutoff
        ldy cutStep
        bmi @down
        bcs @top
        cmp cutHi
        bcc @set
@top:   lda cutHi
        jmp @turn
@down:  bcc @bottom             ; below 0
        cmp cutLo
        bcs @set
@bottom:
        lda cutLo
@turn:  sta cutoff
        lda #0
        sec
        sbc cutStep
        and cutTurn
        sta cutStep
        jmp @volume
@set:   sta cutoff
@volume:
        lda vol
        cmp volTarget
        beq @write
        dec volTick
        bpl @write
        ldy volRate
        sty volTick
        bcc @up                 ; carry from the comparison: clear when below the target
        dec vol
        bcs @write
@up:    inc vol
@write: lda cutoff
        sta SID+22
        lda route
        sta SID+23
        lda vol
        ora fmode
        sta SID_VOL
        rts

; Reads voice X's events up to its next note, rest or tie.
ReadEvents:
        lda patLo,x
        sta ptr
        lda patHi,x
        sta ptr+1
        ldy patPos,x
@next:  lda (ptr),y
        iny
        cmp #INS
        bcc @note
        cmp #LEN
        bcc @ins
        cmp #REST
        bcc @len
        beq @rest
        cmp #TIE
        beq @done
        jsr NextPattern
        jmp @next
@ins:   and #$1F
        sta insLog,x
        jmp @next
@len:   sbc #LEN - 1            ; carry is clear here
        sta len,x
        jmp @next
@rest:  sty patPos,x
        lda len,x
        sta left,x
        ldy ins,x
        lda insOffAD,y
        pha
        ldy regOffset,x
        pla
        sta SID+5,y
        lda #0
        sta SID+6,y
        rts
@done:  sty patPos,x
        lda len,x
        sta left,x
        rts
@note:  sty patPos,x
        clc
        adc trans,x
        sta note,x
        lda len,x
        sta left,x
        ldy insLog,x
        lda (map),y
        sta ins,x
        tay
        lda insWave,y
        sta wavePos,x
        lda insPulse,y
        sta pwHi,x
        lda insPulseStep,y
        sta pwStep,x
        lda insVibWait,y
        sta vibWait,x
        lda #0
        sta pwLo,x
        sta vibPhase,x
        lda insSample,y
        beq :+
        jsr StartSample
        ldy ins,x
:       lda insSR,y
        sta tmp
        lda insAD,y
        ldy regOffset,x
        sta SID+5,y
        lda tmp
        sta SID+6,y
        lda #0                  ; gate off now, on again below: the attack starts afresh
        sta SID+4,y
        rts

; Moves voice X to the next pattern of its order list; leaves ptr and Y = 0 on the pattern.
NextPattern:
        lda trkLo,x
        sta ptr
        lda trkHi,x
        sta ptr+1
        ldy ordPos,x
@next:  lda (ptr),y
        iny
        cmp #ENDPAT
        beq @jump
        cmp #INS
        bcc @pattern
        cmp #LEN
        bcs @trans
        and #$1F
        sta insLog,x
        jmp @next
@trans: cmp #FX
        bcs @fx
        sbc #TRN - 1            ; carry is clear here
        clc
        adc songTrn
        sta trans,x
        jmp @next
@fx:    sty tmp
        and #FX_COUNT - 1
        tay
        lda fxRoute,y
        sta route
        lda fxMode,y
        sta fmode
        lda fxCut,y             ; 0: the cutoff goes on from where it is
        beq :+
        sta cutoff
        lda #0
        sta cutFrac
:       lda fxStep,y
        sta cutStep
        lda fxLo,y
        sta cutLo
        lda fxHi,y
        sta cutHi
        lda fxTurn,y
        sta cutTurn
        lda fxVol,y
        sta volTarget
        lda fxRate,y
        sta volRate
        ldy tmp
        jmp @next
@jump:  lda (ptr),y
        tay
        cpx #0
        bne @next
        inc loops
        jmp @next
@pattern:
        sty ordPos,x
        tay
        lda patternLo,y
        sta ptr
        sta patLo,x
        lda patternHi,y
        sta ptr+1
        sta patHi,x
        ldy #0
        rts

; A = sample number (1..3): starts it on the sample channel.
StartSample:
        tay
        lda sampleStartLo-1,y
        sta SMP_START
        lda sampleStartHi-1,y
        sta SMP_START+1
        lda sampleEndLo-1,y
        sta SMP_END
        lda sampleEndHi-1,y
        sta SMP_END+1
        lda #<SMP_PERIOD
        sta SMP_RATE
        lda #>SMP_PERIOD
        sta SMP_RATE+1
        lda #1
        sta SMP_ORDER
        lda #0
        sta SMP_COUNT
        sta SMP_LOOP
        sta SMP_LOOP+1
        lda #$FF
        sta SMP_CMD
        rts

; Voice X's frame: wave table, pitch with vibrato, pulse sweep, then the registers.
UpdateVoice:
        ldy wavePos,x
        lda waveTable,y
        cmp #JUMP
        bne :+
        lda waveTable+1,y
        tay
        lda waveTable,y
:       sta ctrl
        lda waveTable+1,y
        bmi :+
        clc
        adc note,x
:       and #$7F
        iny
        iny
        sty wavePos,x
        tay
        lda noteLo,y
        sta freqLo
        lda noteHi,y
        sta freqHi
        ldy ins,x
        lda insVibWait,y
        beq @pulse
        lda vibWait,x
        beq @vibrato
        dec vibWait,x
        jmp @pulse
@vibrato:                       ; +-1/256 or +-2/256 of the frequency over an 8-frame cycle
        inc vibPhase,x
        lda vibPhase,x
        and #7
        tay
        lda vibDepth,y
        beq @pulse
        bmi @down
        tay
        lda freqHi
        dey
        bne :+
        lsr a
:       clc
        adc freqLo
        sta freqLo
        bcc @pulse
        inc freqHi
        bcs @pulse
@down:  tay
        lda freqHi
        iny
        iny
        beq :+
        lsr a
:       sta tmp
        lda freqLo
        sec
        sbc tmp
        sta freqLo
        bcs @pulse
        dec freqHi
@pulse: lda pwStep,x            ; sweeps between $200 and $E00, turning at either end
        beq @write
        ldy #0
        ora #0
        bpl :+
        dey
:       clc
        adc pwLo,x
        sta pwLo,x
        tya
        adc pwHi,x
        sta pwHi,x
        cmp #$0E
        bcs :+
        cmp #$02
        bcs @write
:       lda #0
        sec
        sbc pwStep,x
        sta pwStep,x
@write: ldy regOffset,x
        lda freqLo
        sta SID+0,y
        lda freqHi
        sta SID+1,y
        lda pwLo,x
        sta SID+2,y
        lda pwHi,x
        sta SID+3,y
        lda ctrl
        sta SID+4,y
        rts

regOffset:
        .byte 0, 7, 14
vibDepth:                       ; 1: half step up, 2: full step up, $FF/$FE: down
        .byte 0, 1, 2, 1, 0, $FF, $FE, $FF

; Frequency register values for notes C-0 .. B-6 at our chip's 359 x 44100 / 2^28 Hz per unit: the top
; octave is given, the lower ones are halved from it with rounding. Notes 84 to 127 repeat the top
; octave, so that every 7-bit note has a table entry.
TOP_OCTAVE = 72
.define OCT6 17744, 18799, 19917, 21101, 22356, 23685, 25094, 26586, 28167, 29841, 31616, 33496
.macro NOTE_TABLE part
    .repeat 128, n
        noteOctave .set n / 12 - (n >= TOP_OCTAVE + 12) * (n / 12 - 6)
        noteFreq .set (.mid(2 * (n .mod 12), 1, {OCT6}) + (1 << (6 - noteOctave)) / 2) >> (6 - noteOctave)
        .byte part(noteFreq)
    .endrepeat
.endmacro
noteLo: NOTE_TABLE <
noteHi: NOTE_TABLE >

EmptyPattern:
        .byte ENDPAT

        .include "songs.inc"
        .include "samples.inc"

; ---------------------------------------------------------------------------------------------------
.segment "ENTRY"
Init:   jmp InitSong
        .res $583C - $582D - 3, 0
Play:   jmp PlayFrame
        .assert Init = $582D, error, "init entry moved"
        .assert Play = $583C, error, "play entry moved"
