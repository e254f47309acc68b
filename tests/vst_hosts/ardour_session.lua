-- Run by ardour7-lua: a headless session takes the native module on a stereo
-- track; prints what Ardour lists and fails on the first thing it lacks.
io.stdout:setvbuf("no")
local function check(ok, what)
  if not ok then error("FAIL: " .. what, 0) end
end

AudioEngine:set_backend("None (Dummy)", "", "")
AudioEngine:start(false)
local session = create_session(os.getenv("SESSION_DIR"), "crossfeed", 48000)
check(session, "no session")
local tracks = session:new_audio_track(2, 2, nil, 1, "Stereo", ARDOUR.PresentationInfo.max_order,
                                       ARDOUR.TrackMode.Normal, true)
local track = tracks:front()

local processor = ARDOUR.LuaAPI.new_plugin(session, "Crossfeed", ARDOUR.PluginType.LXVST, "")
-- Without a valid scan of the module Ardour gives a nil processor.
check(processor and not processor:isnil(), "Ardour does not find the module")
check(track:add_processor_by_index(processor, 0, nil, true) == 0, "the track refuses the module")
local plugin = processor:to_insert():plugin(0)
print("plugin: " .. plugin:name() .. " / " .. plugin:maker())

local presets, records = {}, {}
for record in plugin:get_info():get_presets(false):iter() do
  print("preset: " .. record.label)
  presets[#presets + 1] = record.label
  records[#records + 1] = record
end
local expected = {"Bedroom studio", "Lounge room", "Big Head", "Car stereo"}
check(#presets == #expected, "expected 4 presets, got " .. #presets)
for i, name in ipairs(expected) do
  -- Ardour numbers the programs itself.
  local label = string.format("%d - %s", i - 1, name)
  check(presets[i] == label, "preset " .. i .. " is '" .. tostring(presets[i]) .. "', expected '" .. label .. "'")
end

-- Loading a preset selects the program: its settings reach the controls.
local function control(i)
  local value = ARDOUR.LuaAPI.get_processor_param(processor, i, true)
  return value
end
check(plugin:load_preset(records[2]), "Lounge room does not load")
print(string.format("after loading %s: %.4f %.4f", presets[2], control(0), control(1)))
check(math.abs(control(0) - 0.45) < 1e-4 and math.abs(control(1) - 0.14) < 1e-4, "Lounge room's settings not loaded")

-- Automation lists exist only for parameters the host may automate.
local count = plugin:parameter_count()
check(count == 2, "expected 2 parameters, got " .. count)
for i = 0, count - 1 do
  check(plugin:parameter_is_input(i), "parameter " .. i .. " is not an input")
  local list, _, descriptor = ARDOUR.LuaAPI.plugin_automation(processor, i)
  check(list and not list:isnil(), "parameter " .. i .. " has no automation list")
  print(string.format("parameter %d: %s [%g, %g] default %g, automatable", i, descriptor.label,
                      descriptor.lower, descriptor.upper, descriptor.normal))
end
close_session()
print("session checks passed")
