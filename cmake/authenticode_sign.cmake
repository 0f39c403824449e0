# Signs a Windows program with osslsigncode (Authenticode, SHA-256), in place.
#   -DOSSLSIGNCODE=  the osslsigncode program
#   -DPROGRAM=       the program to sign
#   -DPFX=           a PKCS#12 file with the key and its certificates, or
#   -DKEY= -DCERT=   a private key and its certificate (chain) file
#   -DPASSWORD_FILE= optional: the PFX's or the key's password, read from this file
#   -DTIMESTAMP_URL= optional: an RFC 3161 time-stamp server
#   -DDESCRIPTION= -DINFO_URL=  optional: the program's name and address in the signature
# The signed program replaces the unsigned one only once signing succeeded; when
# it fails the program is deleted, so that no unsigned program is left behind
# as an up-to-date build.
if(PFX)
  set(credentials -pkcs12 ${PFX})
elseif(KEY AND CERT)
  set(credentials -key ${KEY} -certs ${CERT})
else()
  message(FATAL_ERROR "authenticode: give a PFX file, or a key and a certificate file")
endif()
if(PASSWORD_FILE)
  list(APPEND credentials -readpass ${PASSWORD_FILE})
endif()
set(options -h sha256)
if(DESCRIPTION)
  list(APPEND options -n ${DESCRIPTION})
endif()
if(INFO_URL)
  list(APPEND options -i ${INFO_URL})
endif()
if(TIMESTAMP_URL)
  list(APPEND options -ts ${TIMESTAMP_URL})
endif()
set(signed ${PROGRAM}.signed)
file(REMOVE ${signed})
execute_process(COMMAND ${OSSLSIGNCODE} sign ${credentials} ${options} -in ${PROGRAM} -out ${signed}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  file(REMOVE ${signed} ${PROGRAM})
  message(FATAL_ERROR "authenticode: signing ${PROGRAM} failed; it was deleted:\n${output}")
endif()
file(RENAME ${signed} ${PROGRAM})
