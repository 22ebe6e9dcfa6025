# irrXML, the XML pull parser, compiled from the Irrlicht engine's sources that
# scripts/bootstrap.sh unpacks (IRRXML_ROOT). Only the parser is built: one
# source file and the headers it needs. The sources stay outside the repository.
if(NOT IRRXML_ROOT)
  file(GLOB _qm_irr_candidates LIST_DIRECTORIES true
       ${CMAKE_CURRENT_SOURCE_DIR}/build/third_party/irrlicht-*)
  if(_qm_irr_candidates)
    list(GET _qm_irr_candidates 0 _qm_irr_first)
    set(IRRXML_ROOT ${_qm_irr_first} CACHE PATH "Folder of the Irrlicht sources that carry irrXML" FORCE)
  endif()
endif()

if(NOT EXISTS "${IRRXML_ROOT}/source/Irrlicht/irrXML.cpp")
  message(FATAL_ERROR "irrXML sources not found under IRRXML_ROOT='${IRRXML_ROOT}'; "
                      "run scripts/bootstrap.sh first")
endif()

# fast_atof.h, which the parser includes, refers to the engine's table of
# decimal points; the engine defines it in Irrlicht.cpp, which is not built
# here, so it is defined once beside the parser.
set(_qm_irr_glue ${CMAKE_BINARY_DIR}/irrxml/IrrDecimalPoints.cpp)
file(WRITE ${_qm_irr_glue}.in
  "#include <irrString.h>\nnamespace irr { namespace core {\n"
  "irr::core::stringc LOCALE_DECIMAL_POINTS(\".\");\n} }\n")
configure_file(${_qm_irr_glue}.in ${_qm_irr_glue} COPYONLY)

add_library(irrxml STATIC ${IRRXML_ROOT}/source/Irrlicht/irrXML.cpp ${_qm_irr_glue})
# The headers are a third party's: no warnings from them in our builds.
target_include_directories(irrxml SYSTEM PUBLIC ${IRRXML_ROOT}/include)
target_include_directories(irrxml PRIVATE ${IRRXML_ROOT}/source/Irrlicht)
# A static library: no DLL import or export markers.
target_compile_definitions(irrxml PUBLIC _IRR_STATIC_LIB_)
target_compile_options(irrxml PRIVATE -w)
